#include "shell/Application.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

#include "browser/BrowserManager.h"
#include "engine/ConversionWorker.h"
#include "settings/SettingsFile.h"
#include "shell/ConversionRow.h"
#include "shell/DownloadDialog.h"
#include "shell/InterfacePackage.h"
#include "shell/Literals.h"
#include "shell/MainWindow.h"
#include "shell/SettingsDialog.h"
#include "shell/Translation.h"
#include "util/IniFile.h"
#include "util/Utilities.h"

namespace shell {
Application::Application(QStringList files) : files_(std::move(files)) {}

Application::~Application() {
    if (worker_) {
        worker_->Browsers().SetDownloadObserver(nullptr);
        worker_->Stop();
    }
    worker_.reset();
    window_.reset();
}

QString Application::InstanceName() {
    // A socket path in the user's private runtime folder: one instance per user session, and a test
    // (or a second session) with a runtime folder of its own never sees another's.
    const std::string folder = util::GetRuntimeFolder();
    if (folder.empty())
        return {};
    return QString::fromStdString(util::JoinPath(folder, WindowClassName()));
}

std::string Application::OutputFolder() {
    // The settings' folder, else (empty) next to each book, as on the command line.
    const std::string configured = util::IniFile(util::GetSettingsPath(), "app").GetString("output_folder");
    return configured.empty() ? std::string() : util::ToFullPath(configured);
}

void Application::Listen(const QString& instance) {
    QLocalServer::removeServer(instance);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(instance);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                while (peer->canReadLine()) {
                    const QString line = QString::fromUtf8(peer->readLine()).trimmed();
                    if (line == "raise" && window_)
                        window_->BringToFront();
                    if (line.startsWith("add "))
                        AddFiles({line.mid(4)});
                }
            });
        }
    });
}

bool Application::Start() {
    translations_ = std::make_unique<Translations>();
    // Single instance: a running one gets our files and comes to the front. Without a private runtime
    // folder there is no safe place for the socket, and this instance runs alone.
    const QString instance = InstanceName();
    if (!instance.isEmpty()) {
        QLocalSocket probe;
        probe.connectToServer(instance);
        if (probe.waitForConnected(500)) {
            QByteArray message = "raise\n";
            for (const QString& f : files_)
                message += "add " + QFileInfo(f).absoluteFilePath().toUtf8() + "\n";
            probe.write(message);
            probe.flush();
            probe.waitForBytesWritten(1000);
            probe.disconnectFromServer();
            return false;
        }
    }
    if (!instance.isEmpty())
        Listen(instance);

    // The engine's settings are read once, here. Books at once: the settings file's [app] jobs, else
    // what this machine carries.
    const engine::EngineSettings settings = settings::ReadEngineSettings(util::GetSettingsPath());
    const int jobs = settings.jobs >= 1 ? std::min(settings.jobs, engine::ConversionWorker::kMaxThreads)
                                        : engine::ConversionWorker::MachineThreads();
    worker_ = std::make_unique<engine::ConversionWorker>(OutputFolder(), jobs, settings);
    settingsProblem_ = settings.problem;
    LoadInterfacePackage();
    QFile style(":/skin/style.qss");
    if (style.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromUtf8(style.readAll()));

    window_ = std::make_unique<MainWindow>(Tr(Title()));
    if (!messages_) {
        messages_ = DefaultMessageSink(window_.get());
        dialogs_ = true;
    }
    download_ = std::make_shared<DownloadDialog>(this, window_.get());
    worker_->Browsers().SetDownloadObserver(download_);
    window_->BindCommands(
        {
            {"add_epub", [this] { AddWithDialog(); }},
            {"start_convert", [this] { StartConvert(); }},
            {"stop_convert", [this] { StopConvert(); }},
            {"row_action", [this] { RowAction(); }},
            {"clear_finished", [this] { ClearFinished(); }},
            {"view_pdf", [this] { ViewPdf(); }},
            {"view_epub", [this] { ViewEpub(); }},
            {"view_help", [this] { ViewHelp(); }},
            {"settings", [this] { ShowSettings(); }},
        },
        [this] { RequestQuit(); }, [this](const QStringList& paths) { AddFiles(paths); });
    window_->show();
    if (!files_.isEmpty())
        AddFiles(files_);
    return true;
}

int Application::Run() {
    if (!Start())
        return 0;
    return QApplication::exec();
}

void Application::ShowError(const std::string& text) {
    if (!quiet_ && messages_)
        messages_(MessageKind::Error, text);
}

void Application::ShowInfo(const std::string& text) {
    if (!quiet_ && messages_)
        messages_(MessageKind::Info, text);
}

bool Application::Confirm(const std::string& text) {
    return messages_ && messages_(MessageKind::Question, text);
}

bool Application::AddFiles(const QStringList& paths) {
    // The books of a batch: its .epub files, and those in its folders (and their subfolders). What is
    // refused is said once, with why; the rest is added. Books added while a run goes wait for the next.
    QStringList books;
    QStringList refused;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            QStringList found;
            QDirIterator it(path, {"*.epub", "*.EPUB", "*.Epub"}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) found.push_back(it.next());
            found.sort();
            if (found.isEmpty())
                refused.push_back(Tr("%1：文件夹里没有epub文件").arg(info.fileName()));
            books += found;
        } else if (!path.toLower().endsWith(".epub")) {
            refused.push_back(Tr("%1：不是epub文件").arg(info.fileName()));
        } else if (!info.isFile()) {
            refused.push_back(Tr("%1：文件不存在").arg(info.fileName()));
        } else {
            books.push_back(path);
        }
    }
    for (const QString& path : books) {
        const std::string p = path.toStdString();
        if (worker_->Contains(p))
            continue;
        const std::string folder = OutputFolder();
        worker_->AddItem(p, folder.empty() ? util::GetFolderOf(p) : folder);
        window_->AddRow(path, QString::fromStdString(util::GetFileName(p, true)));
    }
    if (!refused.isEmpty())
        ShowError((Tr("只接受epub文件，以下没有添加：") + "\n" + refused.join('\n')).toStdString());
    return !books.isEmpty();
}

void Application::AddWithDialog() {
    const QStringList chosen =
        fileDialog_ ? fileDialog_()
                    : QFileDialog::getOpenFileNames(window_.get(), Tr(Title()), QString(), "*.epub (*.epub)");
    if (!chosen.isEmpty())
        AddFiles(chosen);
}

void Application::StartConvert() {
    if (worker_->IsBusy()) {
        ShowError(TrStd("正在转换中"));
        return;
    }
    if (worker_->IsEmpty()) {
        ShowError(TrStd("先添加epub文件到列表中才能开始转换"));
        return;
    }
    if (!settingsProblem_.empty()) {
        ShowError(settingsProblem_);  // nothing is converted with settings read in part
        return;
    }
    worker_->Start([this](const std::shared_ptr<engine::ConversionItem>& item, int code) {
        OnProgress(item, code == engine::ConversionWorker::kRunOver);
    });
    window_->SetRunning(worker_->IsBusy());
}

void Application::ShowRunOver(const std::string& text) {
    // A window out of sight says it through the tray.
    if ((!window_->isVisible() || window_->isMinimized()) && window_->Tray() != nullptr &&
        QSystemTrayIcon::isSystemTrayAvailable())
        window_->Tray()->showMessage(Tr(Title()), QString::fromStdString(text));
    if (!dialogs_ || quiet_) {
        ShowInfo(text);
        return;
    }
    // The box offers the output folder.
    QMessageBox box(QMessageBox::Information, Tr(Title()), QString::fromStdString(text), QMessageBox::Ok,
                    window_.get());
    QPushButton* open = box.addButton(Tr("打开文件夹"), QMessageBox::ActionRole);
    box.exec();
    if (box.clickedButton() != open)
        return;
    std::string folder = OutputFolder();
    for (const auto& item : worker_->Items()) {
        if (folder.empty() && item->done)
            folder = util::GetFolderOf(item->PdfPath());  // next to the books: the first one's
    }
    if (!folder.empty())
        OpenWithShell(QUrl::fromLocalFile(QString::fromStdString(folder)).toString().toStdString());
}

void Application::StopConvert() {
    if (!worker_->IsBusy())
        return;
    worker_->Stop();  // the books that converted stay converted; the others wait for the next start
    window_->SetRunning(false);
    for (const auto& item : worker_->Items()) UpdateItem(item);
    ShowInfo(TrStd("已停止转换") + "\n" + RunCounts());
}

std::string Application::RunCounts() const {
    int converted = 0, failed = 0;
    for (const auto& item : worker_->Items()) {
        converted += item->done ? 1 : 0;
        failed += item->failed ? 1 : 0;
    }
    const std::string folder = OutputFolder();
    return (Tr("成功%1本，失败%2本").arg(converted).arg(failed) + "\n" +
            Tr("输出文件夹：%1")
                .arg(folder.empty() ? Tr("与每本书相同的文件夹") : QString::fromStdString(folder)))
        .toStdString();
}

void Application::RequestQuit() {
    if (worker_ && worker_->IsBusy() && !Confirm(TrStd("正在转换中,是否退出?")))
        return;
    if (window_)
        window_->Quit();
}

void Application::OnProgress(const std::shared_ptr<engine::ConversionItem>& item, bool allDone) {
    // Pool thread: the widgets are touched on the GUI thread, and only while this object lives.
    QMetaObject::invokeMethod(
        this,
        [this, item, allDone] {
            if (allDone) {
                window_->SetRunning(false);
                ShowRunOver(TrStd("转换完成") + "\n" + RunCounts());
                return;
            }
            if (item)
                UpdateItem(item);
        },
        Qt::QueuedConnection);
}

void Application::UpdateItem(const std::shared_ptr<engine::ConversionItem>& item) {
    const int percent = item->progress;
    const QString status = Tr(item->StatusText());
    QString icon;
    if (item->failed) {
        icon = "failed";
    } else if (item->StatusText() == engine::kStatusCancelled || item->StatusText() == engine::kStatusReady) {
        icon = "downlist_ok";  // waiting
    } else if (percent < 100) {
        // Flickers while the book converts: the two pictures take turns with each report.
        icon = flicker_++ % 2 == 0 ? "converting1" : "converting2";
    } else {
        icon = "succeeded";
    }
    window_->UpdateRow(QString::fromStdString(item->epubPath), percent, status, icon);
    if (ConversionRow* row = window_->RowOf(QString::fromStdString(item->epubPath)))
        row->SetState(item->StatusText() == engine::kStatusConverting, item->done);
    // Why a book failed, or what it left out, shows when the pointer rests on its status.
    if (ConversionRow* row = window_->RowOf(QString::fromStdString(item->epubPath))) {
        std::string tip = item->FailureReason();
        for (const std::string& warning : item->Warnings()) tip += (tip.empty() ? "" : "\n") + warning;
        row->Status()->setToolTip(QString::fromStdString(tip));
        row->SetReason(item->failed ? QString::fromStdString(item->FailureReason()) : QString());
        window_->FitRow(QString::fromStdString(item->epubPath));
    }
    // The last report of a book that converted (its done flag may follow a moment later).
    const std::string statusText = item->StatusText();
    if (!item->failed && percent >= 100 &&
        (statusText == engine::kStatusDone || statusText == engine::kStatusDoneWithWarnings)) {
        window_->AddHistory(QString::fromStdString(item->PdfPath()));
    }
}

void Application::ViewEpub() {
    const int row = window_->CurrentRow();
    if (row < 0)
        return;
    const std::string key = window_->GetRowKey(row).toStdString();
    for (const auto& item : worker_->Items()) {
        if (item->epubPath == key) {
            reveal_ ? reveal_(item->epubPath) : RevealInExplorer(item->epubPath);
            return;
        }
    }
}

void Application::RowAction() {
    const int row = window_->CurrentRow();
    if (row < 0)
        return;
    const QString key = window_->GetRowKey(row);
    // Cancel while the book converts; otherwise take it off the list.
    if (worker_->CancelItem(key.toStdString()))
        return;
    if (worker_->RemoveItem(key.toStdString()))
        window_->RemoveRow(key);
}

void Application::ClearFinished() {
    for (const auto& item : worker_->Items()) {
        if (item->done && worker_->RemoveItem(item->epubPath))
            window_->RemoveRow(QString::fromStdString(item->epubPath));
    }
}

void Application::ShowSettings() {
    SettingsDialog dialog(util::GetSettingsPath(), window_.get());
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings();
}

void Application::ApplySettings() {
    // For the next run; the books already listed keep the folder they were added with.
    const engine::EngineSettings settings = settings::ReadEngineSettings(util::GetSettingsPath());
    const int jobs = settings.jobs >= 1 ? std::min(settings.jobs, engine::ConversionWorker::kMaxThreads)
                                        : engine::ConversionWorker::MachineThreads();
    settingsProblem_ = settings.problem;
    worker_->Reconfigure(settings, jobs);
}

void Application::ViewHelp() {
    // The README installed beside the program (share/doc/epub2pdf), else the system's copy.
    const std::string beside = util::ToFullPath(util::GetModuleFolder() + "/../share/doc/epub2pdf/README.md");
    for (const std::string& candidate : {beside, HelpTarget()}) {
        if (util::FileExists(candidate)) {
            const std::string url =
                QUrl::fromLocalFile(QString::fromStdString(candidate)).toString().toStdString();
            opener_ ? opener_(url) : OpenWithShell(url);
            return;
        }
    }
    ShowError(Tr("找不到帮助文件：%1").arg(QString::fromStdString(beside)).toStdString());
}

void Application::ViewPdf() {
    const int row = window_->CurrentRow();
    if (row < 0)
        return;
    const std::string path = worker_->OutputPathOf(window_->GetRowKey(row).toStdString());
    if (path.empty()) {
        ShowError(TrStd("该epub还没有转换成pdf"));
        return;
    }
    reveal_ ? reveal_(path) : RevealInExplorer(path);
}

}  // namespace shell
