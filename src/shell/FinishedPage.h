// The window's "finished" page: the PDFs converted in this and earlier sessions, newest first, each
// with its title, folder, pages, size and date, and buttons to open it, show it in its folder and take
// it off the page (the file stays). A PDF that has gone since is shown as gone.
#pragma once

#include <QWidget>
#include <functional>

#include "shell/FinishedList.h"

class QListWidget;
class QStackedWidget;

namespace shell {

class FinishedPage : public QWidget {
  public:
    // command: "open_finished", "show_finished" or "remove_finished", with the PDF it is for.
    using Handler = std::function<void(const QString& command, const QString& pdf)>;

    explicit FinishedPage(QWidget* parent = nullptr);
    void SetHandler(Handler handler) { handler_ = std::move(handler); }
    // Shows books in place of what was shown.
    void Show(const QVector<FinishedBook>& books);
    // The PDF of the selected row, or empty.
    QString CurrentPdf() const;
    QListWidget* List() const { return list_; }
    void SetScale(double factor);

  private:
    QWidget* MakeRow(const FinishedBook& book);
    void Fit();
    QStackedWidget* pages_;
    QListWidget* list_;
    Handler handler_;
    QVector<FinishedBook> books_;
    double scale_ = 1.0;
};

}  // namespace shell
