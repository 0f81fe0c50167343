// One row of the conversion list, in columns that line up from row to row: the book's cover, its title
// and author (its file name until the package is read) over a progress bar and, for a failed book, the
// reason; its state with icon and percentage, and once converted the PDF's pages and size; its buttons.
// Cancel (while the book converts) and remove (otherwise) are two buttons in two places, so that a
// double click on one never reaches the other.
#pragma once

#include <QImage>
#include <QWidget>

#include "engine/ConversionItem.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace shell {

class ElidedLabel;

class ConversionRow : public QWidget {
  public:
    // index is the row's position in the list; the buttons carry it as their "userData".
    ConversionRow(const QString& epubPath, const QString& displayName, int index, QWidget* parent = nullptr);

    // Shows percent and the state's text ("转换中 25%"; the bare text below 1 %), the icon
    // :/skin/<iconName>.png, and red text for a failed book ("转换失败"; an error keeps the usual colour).
    void Update(int percent, engine::ItemState state, const QString& iconName);
    // The row's position in the list, carried by its buttons as "userData".
    void SetIndex(int index);
    // Cancel shows while the book converts, remove is enabled while it does not; "打开PDF" shows once it
    // converted.
    void SetState(bool converting, bool converted);
    // What the package says: title and author (empty: unknown), and the cover (null: none).
    void SetBook(const QString& title, const QString& author, const QImage& cover);
    // The converted PDF's pages and bytes, under the state; nothing when pages is 0.
    void SetResult(int pages, qint64 bytes);
    // Why the book failed, under its name; hidden when empty.
    void SetReason(const QString& reason);
    // Scales the row's fixed sizes by factor (zoom).
    void SetScale(double factor);

    QPushButton* ViewEpub() const { return viewEpub_; }
    QPushButton* ViewPdf() const { return viewPdf_; }
    QPushButton* Cancel() const { return cancel_; }
    QPushButton* Remove() const { return remove_; }
    QLabel* Status() const { return status_; }
    QLabel* Reason() const;
    QPushButton* Icon() const { return icon_; }
    QProgressBar* Progress() const { return progress_; }
    QString IconName() const { return iconName_; }
    // The book's title as its package gives it; empty until it is read, or when it names none.
    QString Title() const { return title_; }
    QLabel* Cover() const { return cover_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    // The fixed sizes from the fonts and the scale: the columns every row shares.
    void Relayout();
    void ShowCover();
    QPushButton* MakeButton(const char* name, const QString& text);

    QString epubPath_;
    QString fileName_;
    QLabel* cover_;
    ElidedLabel* name_;
    ElidedLabel* detail_;
    ElidedLabel* reason_;
    QProgressBar* progress_;
    QWidget* statusColumn_;
    QPushButton* icon_;
    QLabel* status_;
    QLabel* result_;
    QWidget* actions_;
    QPushButton* viewPdf_;
    QPushButton* viewEpub_;
    QPushButton* cancel_;
    QPushButton* remove_;
    QString iconName_ = "downlist_ok";
    QString title_;
    QImage coverImage_;
    double scale_ = 1.0;
};

// A size in bytes as people read it: "820 KB", "1.4 MB".
QString ReadableSize(qint64 bytes);

}  // namespace shell
