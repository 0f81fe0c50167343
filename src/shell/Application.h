// The desktop program: one instance per user (a second start hands its files to the first, brings it
// to the front and exits), the conversion worker, the interface package, the main window and its
// commands, and the teardown that stops conversions and their browsers.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

#include "engine/ConversionItem.h"
#include "engine/EngineSettings.h"
#include "frontend/BookIntake.h"
#include "frontend/OutputPlan.h"
#include "shell/ShellOperations.h"
#include "shell/Translation.h"

namespace engine {
class ConversionWorker;
}

namespace shell {

class MainWindow;
class SingleInstance;
class DownloadDialog;

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
    // "start_convert".
    void StartConvert();
    // "stop_convert": ends the run at once; what converted stays.
    void StopConvert();
    // A row's own button: cancels its book while it converts, else takes it off the list.
    void RowAction();
    // "clear_finished": takes the converted books off the list.
    void ClearFinished();
    // The quit request: asks while converting.
    void RequestQuit();
    // The worker's notification, from pool threads; handled on the GUI thread.
    void OnProgress(const std::shared_ptr<engine::ConversionItem>& item, bool allDone);
    // The link commands of the current row.
    void ViewEpub();
    void ViewPdf();

    void ShowError(const std::string& text);
    void ShowInfo(const std::string& text);
    bool Confirm(const std::string& text);

    // Test seams: where messages, file dialogs and reveals go.
    void SetMessageSink(MessageSink sink) { messages_ = std::move(sink); }
    void SetFileDialog(std::function<QStringList()> dialog) { fileDialog_ = std::move(dialog); }
    void SetRevealer(std::function<bool(const std::string&)> reveal) { reveal_ = std::move(reveal); }
    // What opens a URL (the help) instead of the desktop's handler.
    void SetOpener(std::function<bool(const std::string&)> open) { opener_ = std::move(open); }
    // "settings": the settings dialog; what it stores applies from the next run.
    void ShowSettings();
    // Reads the settings file again for the next run.
    void ApplySettings();
    // "view_help": the installed README.
    void ViewHelp();
    void SetQuiet(bool quiet) { quiet_ = quiet; }

    MainWindow* Window() const { return window_.get(); }
    engine::ConversionWorker* Worker() const { return worker_.get(); }
    // The single-instance socket in the user's runtime folder; empty when there is no private folder.
    static QString InstanceName();

  private:
    void UpdateItem(const std::shared_ptr<engine::ConversionItem>& item);
    // The settings file, read once for the runs to come: the engine's settings, and where the PDFs go.
    engine::EngineSettings ReadSettings();
    // A refused path in the window's words.
    static QString RefusalText(const frontend::Refused& refused);
    // The end of a run: its counts in a box that can open the output folder, and through the tray when
    // the window is out of sight.
    void ShowRunOver(const std::string& text);
    // "成功N本，失败N本" and the output folder.
    std::string RunCounts() const;

    std::unique_ptr<Translations> translations_;  // first: it outlives every widget
    QStringList files_;
    std::unique_ptr<engine::ConversionWorker> worker_;
    std::unique_ptr<MainWindow> window_;
    std::shared_ptr<DownloadDialog> download_;
    SingleInstance* instance_ = nullptr;  // a child of this object
    bool quiet_ = false;
    unsigned flicker_ = 0;  // GUI thread only
    MessageSink messages_;
    std::function<QStringList()> fileDialog_;
    std::function<bool(const std::string&)> reveal_;
    std::function<bool(const std::string&)> opener_;
    bool dialogs_ = false;         // messages go to message boxes (not to a sink a test gave)
    std::string settingsProblem_;  // a refused setting, named with its value
    frontend::OutputPlan output_;  // where the PDFs of the books added go
};

}  // namespace shell
