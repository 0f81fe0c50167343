// The main window: a header with the title and the commands that are not the run's (add, settings,
// help, about); the tabs of the conversion list (an invitation to drop books while it is empty) and of
// the finished PDFs; a footer with the run's progress, where the PDFs go and the run's own buttons. The
// tray icon, drag and drop of files and folders, the keyboard (Ctrl+O, Delete, Ctrl+Q, F1, Esc,
// Ctrl+Return), window size and zoom kept in the settings file. Every named control carries its name
// as objectName and an accessible name. Used on the GUI thread only.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "engine/ConversionItem.h"
#include "settings/SettingsStore.h"
#include "shell/FinishedList.h"
#include "shell/Zoom.h"

class QLabel;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QSystemTrayIcon;

namespace shell {

class ConversionRow;
class DropZone;
class FinishedPage;

class MainWindow : public QMainWindow {
  public:
    using Command = std::function<void()>;

    explicit MainWindow(const QString& title);
    ~MainWindow() override;

    // The command table (control name -> handler), the quit request and the handler of dropped files
    // (the files and folders of one drop at once).
    void BindCommands(std::map<QString, Command> commands, Command onQuitRequest,
                      std::function<void(const QStringList&)> onFilesDropped);

    // Appends a row for a book; its index, or -1 without a list.
    int AddRow(const QString& epubPath, const QString& displayName);
    // Updates the row of a book; nothing when it has none.
    void UpdateRow(const QString& epubPath, int percent, engine::ItemState state, const QString& iconName);
    // Gives a book's row the height its content needs now (a reason shown under its name).
    void FitRow(const QString& epubPath);
    // Takes a book's row off the list; the rows after it move up.
    void RemoveRow(const QString& epubPath);
    // The row key (the EPUB path exactly as added: a.epub and A.epub are two books) at index, or an
    // empty string.
    QString GetRowKey(int index) const;
    ConversionRow* Row(int index) const;
    // The row of a book, or null.
    ConversionRow* RowOf(const QString& epubPath) const;
    int RowCount() const;
    int CurrentRow() const { return currentRow_; }

    // The finished page shows these books.
    void ShowFinished(const QVector<FinishedBook>& books);
    FinishedPage* Finished() const { return finished_; }
    // The PDF a command of the finished page is for.
    const QString& CurrentFinished() const { return currentFinished_; }

    // What a click on a named control does.
    void OnClick(QObject* sender);
    // The tab options: "convert_list" shows page 0, "down_his" page 1.
    void OnSelectChanged(const QString& senderName);
    // The quit request (asks while converting), and quitting for good.
    void RequestQuit();
    void Quit();
    // Restores a minimised window and brings it to the front.
    void BringToFront();
    // Fits the window into a screen's free area and centres it there.
    void PlaceOn(const QRect& available);
    // The run's buttons: while a run goes, stop is enabled and start is not; otherwise start is
    // enabled when there is a book to convert (canStart), and retry when one failed (canRetry).
    void SetRunning(bool running, bool canStart, bool canRetry, bool canClear);
    // The run's progress in the footer and the window's title; percent < 0: no run.
    void SetOverall(int percent, const QString& text);
    // Where the PDFs go, as the button next to Start shows it (empty: next to each book), and the folders
    // its menu offers besides.
    void SetOutputFolder(const QString& folder, const QStringList& recent);
    // The folder a command of the output menu chose ("" for next to each book).
    const QString& ChosenFolder() const { return chosenFolder_; }

    ZoomController* Zoom() const { return zoom_.get(); }
    QSystemTrayIcon* Tray() const { return tray_; }
    double Scale() const { return scale_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QPushButton* MakeButton(const QString& name, const QString& text, QWidget* parent,
                            const char* kind = nullptr);
    void Run(const QString& name);
    void ApplyZoom(int dpi);
    void FitRows();
    void UpdateTabs();
    void ShowRowMenu(const QPoint& at);
    // The empty list invites books; a list with books shows them.
    void ShowListOrInvitation();

    QString title_;
    mutable std::mutex rowsLock_;
    std::map<QString, int> rows_;  // row key -> list position
    QListWidget* list_ = nullptr;
    QStackedWidget* listPages_ = nullptr;
    DropZone* dropZone_ = nullptr;
    FinishedPage* finished_ = nullptr;
    QStackedWidget* tabs_ = nullptr;
    QWidget* tabsBar_ = nullptr;
    QPushButton* listTab_ = nullptr;
    QPushButton* finishedTab_ = nullptr;
    QProgressBar* overall_ = nullptr;
    QLabel* overallText_ = nullptr;
    QPushButton* output_ = nullptr;
    QMenu* outputMenu_ = nullptr;
    QLabel* logo_ = nullptr;
    int currentRow_ = -1;
    QString currentFinished_;
    QString chosenFolder_;
    int finishedCount_ = 0;
    std::map<QString, Command> commands_;
    bool trayEnabled_ = true;
    QSystemTrayIcon* tray_ = nullptr;
    Command onQuitRequest_;
    std::function<void(const QStringList&)> onFilesDropped_;
    std::unique_ptr<settings::SettingsStore> settings_;
    std::unique_ptr<ZoomController> zoom_;
    int baseFontPoints_ = 10;
    double scale_ = 1.0;
    bool quitting_ = false;
    QSize keptSize_{0, 0};  // the size stored in the settings
    bool focused_ = false;  // the first focus went to the header
};

}  // namespace shell
