// The desktop program: one instance per user (a second start hands its files to the first, brings it
// to the front and exits), the conversion worker, the interface package, the main window and its
// commands, the finished list kept across restarts, and the teardown that stops conversions and their
// browsers. Its message boxes never wait in an event loop of their own: each opens and answers later.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "engine/ConversionItem.h"
#include "engine/EngineSettings.h"
#include "frontend/BookIntake.h"
#include "frontend/OutputPlan.h"
#include "shell/FinishedList.h"
#include "shell/RunProgress.h"
#include "shell/ShellOperations.h"
#include "shell/Translation.h"

class QMessageBox;

namespace engine {
class ConversionWorker;
}

namespace shell {

class MainWindow;
class SingleInstance;
class DownloadDialog;

// What one run came to, counted over the books it took (not the whole list).
struct RunCounts {
    int converted = 0, withWarnings = 0, failed = 0, cancelled = 0, stopped = 0;
};

class Application : public QObject {
  public:
    // files: books to add at start (or to hand to the running instance).
    explicit Application(QStringList files = {});
    // Stops the conversions (and with them the browsers) before the window goes.
    ~Application() override;

    // Start, then the event loop; the exit code.
    int Run();
    // Everything before the event loop. False when another instance runs: the files went to it.
    bool Start();

    // Adds the new books of a batch of paths: its .epub files and the books in its folders; the rest is
    // named in one message, with why. Books added while a conversion runs wait for the next start.
    // True when the batch held a book.
    bool AddFiles(const QStringList& paths);
    // "add_epub": the multi-select open-file dialog.
    void AddWithDialog();
    // "start_convert": every book that is not converted.
    void StartConvert();
    // "retry_failed": the books that failed, alone.
    void RetryFailed();
    // "stop_convert": ends the run at once; what converted stays.
    void StopConvert();
    // "row_cancel": cancels the current row's book while it converts.
    void CancelRow();
    // "row_remove": takes the current row's book off the list, unless it converts.
    void RemoveRow();
    // "clear_finished": takes the converted books off the list.
    void ClearFinished();
    // The quit request: asks while converting. The question goes when the run ends meanwhile.
    void RequestQuit();
    // The worker's notification, from pool threads; handled on the GUI thread.
    void OnProgress(const std::shared_ptr<engine::ConversionItem>& item, bool allDone);
    // The current row: "view_pdf" opens its PDF, "show_pdf" shows it in its folder, "view_epub" shows
    // the book in its folder; "open_row" (a double click, Enter) opens the PDF of a converted book.
    void ViewPdf();
    void ShowPdf();
    void ViewEpub();
    void OpenRow();

    void ShowError(const std::string& text);
    void ShowInfo(const std::string& text);

    // Test seams: where messages, file dialogs, opened files, reveals and notifications go.
    void SetMessageSink(MessageSink sink) { messages_ = std::move(sink); }
    void SetFileDialog(std::function<QStringList()> dialog) { fileDialog_ = std::move(dialog); }
    void SetFolderDialog(std::function<QString()> dialog) { folderDialog_ = std::move(dialog); }
    void SetRevealer(std::function<bool(const std::string&)> reveal) { reveal_ = std::move(reveal); }
    // What opens a file or URL (a PDF, the help) instead of the desktop's default program.
    void SetOpener(std::function<bool(const std::string&)> open) { opener_ = std::move(open); }
    void SetNotifier(std::function<void(const std::string& title, const std::string& body)> notify) {
        notifier_ = std::move(notify);
    }
    // "settings": the settings dialog; what it stores applies from the next run.
    void ShowSettings();
    // Reads the settings file again for the next run; the books waiting go where the PDFs go now.
    void ApplySettings();
    // The output folder chosen next to Start ("" for next to each book), stored in the settings.
    void ChooseOutputFolder(const QString& folder);
    // "view_help": the user's help page, in the user's language.
    void ViewHelp();
    // The help page's path: beside the program as installed (../share/epub2pdf/help), else in the
    // source tree; empty when neither holds it.
    static std::string HelpPage();
    // "about": the version and what the program is.
    void ShowAbout();
    void SetQuiet(bool quiet) { quiet_ = quiet; }

    MainWindow* Window() const { return window_.get(); }
    engine::ConversionWorker* Worker() const { return worker_.get(); }
    const FinishedList& Finished() const { return *finished_; }
    // The single-instance socket in the user's runtime folder; empty when there is no private folder.
    static QString InstanceName();
    // Counts the run's books.
    RunCounts CountRun() const;
    // The end of a run in words: a first line that says how it went, the counts, where the PDFs are.
    std::string RunSummary(const RunCounts& counts, bool stopped) const;

  private:
    void UpdateItem(const std::shared_ptr<engine::ConversionItem>& item);
    // The run's buttons and the footer, from the list as it is.
    void UpdateButtons();
    void UpdateOverall();
    // Starts a run of the books wanted takes.
    void StartRun(const std::function<bool(const engine::ConversionItem&)>& wanted);
    // The end of a run: the question to quit goes, the summary comes (and a notification when the window
    // is not in front).
    void RunOver();
    // The settings file, read once for the runs to come: the engine's settings, and where the PDFs go.
    engine::EngineSettings ReadSettings();
    // A refused path in the window's words.
    static QString RefusalText(const frontend::Refused& refused);
    // A message box that opens and answers later; null when messages go to a sink.
    QMessageBox* Box(MessageKind kind, const std::string& text, const char* name);
    void Open(const std::string& target);
    void Reveal(const std::string& path);
    // Reads the book's title, author and cover off the GUI thread, for its row.
    void ReadPreview(const std::string& book);
    // The finished page's commands.
    void OnFinished(const QString& command);
    std::shared_ptr<engine::ConversionItem> CurrentItem() const;

    std::unique_ptr<Translations> translations_;  // first: it outlives every widget
    QStringList files_;
    std::unique_ptr<engine::ConversionWorker> worker_;
    std::unique_ptr<MainWindow> window_;
    std::shared_ptr<DownloadDialog> download_;
    std::unique_ptr<FinishedList> finished_;
    SingleInstance* instance_ = nullptr;  // a child of this object
    bool quiet_ = false;
    unsigned flicker_ = 0;  // GUI thread only
    MessageSink messages_;
    std::function<QStringList()> fileDialog_;
    std::function<QString()> folderDialog_;
    std::function<bool(const std::string&)> reveal_;
    std::function<bool(const std::string&)> opener_;
    std::function<void(const std::string&, const std::string&)> notifier_;
    std::string settingsProblem_;                               // a refused setting, named with its value
    frontend::OutputPlan output_;                               // where the PDFs of the books go
    std::vector<std::shared_ptr<engine::ConversionItem>> run_;  // the books of the run under way (or last)
    std::set<const engine::ConversionItem*> recorded_;          // converted books put on the finished list
    RunProgress progress_;
    QTimer ticker_;  // the estimate while a run goes
    QPointer<QMessageBox> quitQuestion_;
    QPointer<QMessageBox> summary_;
    QThreadPool previews_;  // last: its tasks end before anything they reach goes
};

}  // namespace shell
