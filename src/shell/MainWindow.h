// The main window: header with the title and the commands, the tab "tab_main" with the conversion list
// and the history of finished PDFs, the tray icon, drag and drop of files, window size and zoom kept
// in the settings file. Every named control carries its name as objectName. Used on the GUI thread only.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "engine/ConversionItem.h"
#include "settings/SettingsStore.h"
#include "shell/Zoom.h"

class QListWidget;
class QPushButton;
class QStackedWidget;
class QSystemTrayIcon;

namespace shell {

class ConversionRow;

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
    // Adds a finished PDF to the history page.
    void AddHistory(const QString& pdfPath);
    // The row key (the EPUB path exactly as added: a.epub and A.epub are two books) at index, or an
    // empty string.
    QString GetRowKey(int index) const;
    ConversionRow* Row(int index) const;
    // The row of a book, or null.
    ConversionRow* RowOf(const QString& epubPath) const;
    int RowCount() const;
    int CurrentRow() const { return currentRow_; }

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
    // While a run goes, "start_convert" is disabled and "stop_convert" enabled; after it, the other way.
    void SetRunning(bool running);

    ZoomController* Zoom() const { return zoom_.get(); }
    QSystemTrayIcon* Tray() const { return tray_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QPushButton* MakeButton(const QString& name, const QString& text, QWidget* parent);
    void ApplyZoom(int dpi);

    QString title_;
    mutable std::mutex rowsLock_;
    std::map<QString, int> rows_;  // row key -> list position
    QListWidget* list_ = nullptr;
    QListWidget* history_ = nullptr;
    QStackedWidget* tabs_ = nullptr;
    int currentRow_ = -1;
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
};

}  // namespace shell
