#include "shell/Application.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QUrl>
#include <algorithm>
#include <cstdlib>

#include "browser/BrowserManager.h"
#include "engine/ConversionWorker.h"
#include "frontend/BookIntake.h"
#include "frontend/BooksAtOnce.h"
#include "settings/SettingsFile.h"
#include "shell/ConversionRow.h"
#include "shell/DownloadDialog.h"
#include "shell/InterfacePackage.h"
#include "shell/Literals.h"
#include "shell/MainWindow.h"
#include "shell/SettingsDialog.h"
#include "shell/SingleInstance.h"
#include "shell/Translation.h"
#include "util/Utilities.h"

namespace shell {
Application::Application(QStringList files) : files_(std::move(files)) {}

Application::~Application() {
    browser::BrowserManager::Instance().SetDownloadObserver(nullptr);
    if (worker_)
        worker_->Stop();
    worker_.reset();
    window_.reset();
}

QString Application::InstanceName() {
    return SingleInstance::Name();
}

bool Application::Start() {
    translations_ = std::make_unique<Translations>();
    // A running instance gets our files and comes to the front.
    if (SingleInstance::HandOver(files_))
        return false;
    auto raise = [this] {
        if (window_)
            window_->BringToFront();
    };
    instance_ = new SingleInstance(this, raise, [this](const QStringList& files) { AddFiles(files); });

    const engine::EngineSettings settings = ReadSettings();
    worker_ = std::make_unique<engine::ConversionWorker>(
        output_.folder, frontend::ChooseBooksAtOnce(0, settings.jobs).books, settings);
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
    browser::BrowserManager::Instance().SetDownloadObserver(download_);
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
    std::vector<std::string> given;
    for (const QString& path : paths) given.push_back(path.toStdString());
    const frontend::Intake intake = frontend::CollectBooks(given, {.recursive = true});
    for (const std::string& book : intake.books) {
        if (worker_->Contains(book))
            continue;
        worker_->AddItem(book, output_.FolderFor(book));
        window_->AddRow(QString::fromStdString(book), QString::fromStdString(util::GetFileName(book, true)));
    }
    if (!intake.refused.empty()) {
        QStringList said;
        for (const frontend::Refused& refused : intake.refused) said.push_back(RefusalText(refused));
        ShowError((Tr("以下没有添加：") + "\n" + said.join('\n')).toStdString());
    }
    return !intake.books.empty();
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
    if (output_.problem != frontend::OutputProblem::None) {
        ShowError(Tr("无法使用输出文件夹：%1").arg(QString::fromStdString(output_.where)).toStdString());
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
    std::string folder = output_.folder;
    for (const auto& item : worker_->Items()) {
        if (folder.empty() && item->Done())
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
        converted += item->Done() ? 1 : 0;
        failed += item->Failed() ? 1 : 0;
    }
    const std::string& folder = output_.folder;
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
    const engine::ItemState state = item->State();
    QString icon;
    switch (state) {
        case engine::ItemState::Ready:
        case engine::ItemState::Cancelled:
        case engine::ItemState::Stopped:
            icon = "downlist_ok";  // waiting
            break;
        case engine::ItemState::Converting:
            // Flickers while the book converts: the two pictures take turns with each report.
            icon = flicker_++ % 2 == 0 ? "converting1" : "converting2";
            break;
        case engine::ItemState::Converted:
        case engine::ItemState::ConvertedWithWarnings:
            icon = "succeeded";
            break;
        case engine::ItemState::Failed:
        case engine::ItemState::Error:
            icon = "failed";
            break;
    }
    const QString key = QString::fromStdString(item->epubPath);
    window_->UpdateRow(key, item->progress, state, icon);
    // Why a book failed, or what it left out, shows when the pointer rests on its status.
    if (ConversionRow* row = window_->RowOf(key)) {
        row->SetState(state == engine::ItemState::Converting, item->Done());
        std::string tip = item->FailureReason();
        for (const std::string& warning : item->Warnings()) tip += (tip.empty() ? "" : "\n") + warning;
        row->Status()->setToolTip(QString::fromStdString(tip));
        row->SetReason(item->Failed() ? QString::fromStdString(item->FailureReason()) : QString());
        window_->FitRow(key);
    }
    if (item->Done())
        window_->AddHistory(QString::fromStdString(item->PdfPath()));
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
        if (item->Done() && worker_->RemoveItem(item->epubPath))
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
    const engine::EngineSettings settings = ReadSettings();
    worker_->Reconfigure(settings, frontend::ChooseBooksAtOnce(0, settings.jobs).books);
}

engine::EngineSettings Application::ReadSettings() {
    const std::string path = util::GetSettingsPath();
    engine::EngineSettings settings = settings::ReadEngineSettings(path);
    settingsProblem_ = settings.problem;
    output_ = frontend::PlanOutput(settings::ReadOutputFolder(path), false, 0);
    return settings;
}

QString Application::RefusalText(const frontend::Refused& refused) {
    QString name = QFileInfo(QString::fromStdString(refused.path)).fileName();
    switch (refused.why) {
        case frontend::Refusal::NoSuchFile:
            return Tr("%1：文件不存在").arg(name);
        case frontend::Refusal::NotAnEpubName:
            return Tr("%1：不是epub文件").arg(name);
        case frontend::Refusal::NotAZipArchive:
            return Tr("%1：不是epub文件（epub文件是ZIP压缩包）").arg(name);
        case frontend::Refusal::NoBookInFolder:
            return Tr("%1：文件夹里没有epub文件").arg(name);
    }
    return name;
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
