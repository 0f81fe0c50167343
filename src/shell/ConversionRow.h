// One row of the conversion list: the book's icon, its name, a progress bar, the status text with
// percentage, and the links that reveal the EPUB or the finished PDF.
#pragma once

#include <QWidget>

#include "engine/ConversionItem.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace shell {

class ConversionRow : public QWidget {
  public:
    // index is the row's position in the list; the links carry it as their "userData".
    ConversionRow(const QString& displayName, int index, QWidget* parent = nullptr);

    // Shows percent and the state's text ("转换中 25%"; the bare text below 1 %), the icon
    // :/skin/<iconName>.png, and red text for a failed book ("转换失败"; an error keeps the usual colour).
    void Update(int percent, engine::ItemState state, const QString& iconName);
    // The row's position in the list, carried by its buttons as "userData".
    void SetIndex(int index);
    // The row's own button: "取消" while the book converts, "移除" otherwise; "查看pdf" only once it
    // converted.
    void SetState(bool converting, bool converted);
    QPushButton* Action() const { return action_; }
    // Why the book failed, under its name; hidden when empty.
    void SetReason(const QString& reason);
    QLabel* Reason() const { return reason_; }
    // Scales the row's fixed sizes by factor (zoom).
    void SetScale(double factor);

    QPushButton* ViewEpub() const { return viewEpub_; }
    QPushButton* ViewPdf() const { return viewPdf_; }
    QLabel* Status() const { return status_; }
    QPushButton* Icon() const { return icon_; }
    QProgressBar* Progress() const { return progress_; }
    QString IconName() const { return iconName_; }

    static constexpr int kHeight = 45;

  private:
    QPushButton* icon_;
    QLabel* name_;
    QLabel* reason_;
    QProgressBar* progress_;
    QLabel* status_;
    QPushButton* viewEpub_;
    QPushButton* viewPdf_;
    QPushButton* action_;
    QString iconName_ = "downlist_ok";
};

}  // namespace shell
