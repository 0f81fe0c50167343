#include "shell/Application.h"

#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QUrl>
#include <algorithm>

#include "browser/BrowserManager.h"
#include "engine/ConversionWorker.h"
#include "frontend/BookIntake.h"
#include "frontend/BookPreview.h"
#include "frontend/BooksAtOnce.h"
#include "settings/EditableSettings.h"
#include "settings/SettingsFile.h"
#include "shell/ConversionRow.h"
#include "shell/DownloadDialog.h"
#include "shell/InterfacePackage.h"
#include "shell/Literals.h"
#include "shell/MainWindow.h"
#include "shell/SettingsDialog.h"
#include "shell/SingleInstance.h"
#include "shell/Translation.h"
#include "util/Files.h"
#include "util/Folders.h"
#include "util/Paths.h"

namespace shell {
namespace {

constexpr int kCoverPixels = 192;  // the tallest thumbnail a row shows (its largest zoom, on a dense screen)
constexpr int kMostCoverMegabytes = 64;

// The cover picture as a thumbnail: decoded at the size a row needs, within a memory bound.
QImage Thumbnail(const std::string& bytes) {
    if (bytes.empty())
        return {};
    QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(kMostCoverMegabytes);
    const QSize size = reader.size();
    if (size.isValid() && size.height() > kCoverPixels)
        reader.setScaledSize(size.scaled(QSize(kCoverPixels, kCoverPixels), Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (!image.isNull() && image.height() > kCoverPixels)
        image = image.scaledToHeight(kCoverPixels, Qt::SmoothTransformation);
    return image;
}

}  // namespace

Application::Application(QStringList files) : files_(std::move(files)) {
    previews_.setMaxThreadCount(2);
}

Application::~Application() {
    previews_.clear();
    previews_.waitForDone();
    if (worker_) {
        worker_->Browsers().SetDownloadObserver(nullptr);
        worker_->Stop();
    }
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
    download_ = std::make_shared<DownloadDialog>(this, window_.get());
    worker_->Browsers().SetDownloadObserver(download_);
    window_->BindCommands(
        {
            {"add_epub", [this] { AddWithDialog(); }},
            {"start_convert", [this] { StartConvert(); }},
            {"retry_failed", [this] { RetryFailed(); }},
            {"stop_convert", [this] { StopConvert(); }},
            {"row_cancel", [this] { CancelRow(); }},
            {"row_remove", [this] { RemoveRow(); }},
            {"clear_finished", [this] { ClearFinished(); }},
            {"view_pdf", [this] { ViewPdf(); }},
            {"show_pdf", [this] { ShowPdf(); }},
            {"view_epub", [this] { ViewEpub(); }},
            {"open_row", [this] { OpenRow(); }},
            {"view_help", [this] { ViewHelp(); }},
            {"about", [this] { ShowAbout(); }},
            {"settings", [this] { ShowSettings(); }},
            {"output_folder", [this] { ChooseOutputFolder(window_->ChosenFolder()); }},
            {"choose_output",
             [this] {
                 const QString folder = folderDialog_ ? folderDialog_()
                                                      : QFileDialog::getExistingDirectory(
                                                            window_.get(), Tr("PDF保存到哪个文件夹"),
                                                            QString::fromStdString(output_.folder));
                 if (!folder.isEmpty())
                     ChooseOutputFolder(folder);
             }},
            {"open_finished", [this] { OnFinished("open_finished"); }},
            {"show_finished", [this] { OnFinished("show_finished"); }},
            {"remove_finished", [this] { OnFinished("remove_finished"); }},
        },
        [this] { RequestQuit(); }, [this](const QStringList& paths) { AddFiles(paths); });
    finished_ = std::make_unique<FinishedList>(FinishedList::DefaultPath());
    window_->ShowFinished(finished_->Books());
    window_->SetOutputFolder(QString::fromStdString(output_.folder), {});
    ticker_.setInterval(1000);
    connect(&ticker_, &QTimer::timeout, this, [this] { UpdateOverall(); });
    UpdateButtons();
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

QMessageBox* Application::Box(MessageKind kind, const std::string& text, const char* name) {
    if (messages_ || !window_)
        return nullptr;
    const QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                                   : kind == MessageKind::Warning ? QMessageBox::Warning
                                   : kind == MessageKind::Info    ? QMessageBox::Information
                                                                  : QMessageBox::Question;
    auto* box = new QMessageBox(
        icon, Tr(Title()), QString::fromStdString(text),
        kind == MessageKind::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, window_.get());
    box->setObjectName(name);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void Application::ShowError(const std::string& text) {
    if (quiet_)
        return;
    if (messages_)
        messages_(MessageKind::Error, text);
    else if (QMessageBox* box = Box(MessageKind::Error, text, "error_box"))
        box->open();
}

void Application::ShowInfo(const std::string& text) {
    if (quiet_)
        return;
    if (messages_)
        messages_(MessageKind::Info, text);
    else if (QMessageBox* box = Box(MessageKind::Info, text, "info_box"))
        box->open();
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
        ReadPreview(book);
    }
    UpdateButtons();
    if (!intake.refused.empty()) {
        QStringList said;
        for (const frontend::Refused& refused : intake.refused) said.push_back(RefusalText(refused));
        ShowError((Tr("以下没有添加：") + "\n" + said.join('\n')).toStdString());
    }
    return !intake.books.empty();
}

void Application::ReadPreview(const std::string& book) {
    previews_.start([this, book] {
        const frontend::BookPreview preview = frontend::ReadBookPreview(book);
        QImage cover = Thumbnail(preview.cover);
        QMetaObject::invokeMethod(
            this,
            [this, book, title = QString::fromStdString(preview.title),
             author = QString::fromStdString(preview.author), cover = std::move(cover)] {
                const QString key = QString::fromStdString(book);
                if (ConversionRow* row = window_->RowOf(key)) {
                    row->SetBook(title, author, cover);
                    window_->FitRow(key);
                }
            },
            Qt::QueuedConnection);
    });
}

void Application::AddWithDialog() {
    const QStringList chosen = fileDialog_
                                   ? fileDialog_()
                                   : QFileDialog::getOpenFileNames(window_.get(), Tr("添加EPUB"), QString(),
                                                                   Tr("EPUB电子书") + " (*.epub *.EPUB)");
    if (!chosen.isEmpty())
        AddFiles(chosen);
}

void Application::StartConvert() {
    StartRun({});
}

void Application::RetryFailed() {
    StartRun([](const engine::ConversionItem& item) { return item.Failed(); });
}

void Application::StartRun(const std::function<bool(const engine::ConversionItem&)>& wanted) {
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
    run_.clear();
    for (const auto& item : worker_->Items()) {
        if (!item->Done() && (!wanted || wanted(*item)))
            run_.push_back(item);
    }
    if (run_.empty()) {
        ShowInfo(TrStd("列表中的书都已转换"));
        return;
    }
    if (!worker_->Start([this](const std::shared_ptr<engine::ConversionItem>& item,
                               int code) { OnProgress(item, code == engine::ConversionWorker::kRunOver); },
                        wanted))
        return;
    if (summary_)
        summary_->close();  // the last run's
    progress_.Begin(static_cast<int>(run_.size()), RunProgress::Clock::now());
    ticker_.start();
    UpdateButtons();
    UpdateOverall();
}

RunCounts Application::CountRun() const {
    RunCounts counts;
    for (const auto& item : run_) {
        switch (item->State()) {
            case engine::ItemState::ConvertedWithWarnings:
                ++counts.withWarnings;
                [[fallthrough]];
            case engine::ItemState::Converted:
                ++counts.converted;
                break;
            case engine::ItemState::Failed:
            case engine::ItemState::Error:
                ++counts.failed;
                break;
            case engine::ItemState::Cancelled:
                ++counts.cancelled;
                break;
            case engine::ItemState::Stopped:
                ++counts.stopped;
                break;
            case engine::ItemState::Ready:
            case engine::ItemState::Converting:
                break;
        }
    }
    return counts;
}

std::string Application::RunSummary(const RunCounts& counts, bool stopped) const {
    QString first = Tr("转换完成");
    if (stopped)
        first = Tr("已停止转换");
    else if (counts.failed > 0)
        first = Tr("转换结束，%1本失败").arg(counts.failed);
    else if (counts.cancelled > 0)
        first = Tr("转换结束，%1本已取消").arg(counts.cancelled);
    QString tally = Tr("成功%1本，失败%2本").arg(counts.converted).arg(counts.failed);
    if (counts.cancelled > 0)
        tally += Tr("，取消%1本").arg(counts.cancelled);
    if (counts.stopped > 0)
        tally += Tr("，停止%1本").arg(counts.stopped);
    if (counts.withWarnings > 0)
        tally += Tr("；%1本有警告").arg(counts.withWarnings);
    const std::string& folder = output_.folder;
    const QString where =
        Tr("输出文件夹：%1")
            .arg(folder.empty() ? Tr("与每本书相同的文件夹") : QString::fromStdString(folder));
    return (first + "\n" + tally + "\n" + where).toStdString();
}

void Application::RunOver() {
    ticker_.stop();
    // A question to quit asked during the run has no ground now: it goes, and what the run came to shows.
    if (quitQuestion_)
        quitQuestion_->close();
    const RunCounts counts = CountRun();
    const std::string text = RunSummary(counts, false);
    UpdateButtons();
    UpdateOverall();
    // A window not in front says it on the desktop.
    if (!window_->isActiveWindow()) {
        const std::string title = text.substr(0, text.find('\n'));
        const std::string body = text.substr(text.find('\n') + 1);
        if (notifier_)
            notifier_(title, body);
        else if (!NotifyDesktop(title, body) && window_->Tray() != nullptr &&
                 QSystemTrayIcon::isSystemTrayAvailable())
            window_->Tray()->showMessage(Tr(Title()), QString::fromStdString(text));
    }
    if (quiet_)
        return;
    const MessageKind kind = counts.failed > 0 ? MessageKind::Warning : MessageKind::Info;
    if (messages_) {
        messages_(kind, text);
        return;
    }
    // The box offers the output folder.
    QMessageBox* box = Box(kind, text, "run_summary");
    QPushButton* open = box->addButton(Tr("打开文件夹"), QMessageBox::ActionRole);
    std::string folder = output_.folder;
    for (const auto& item : run_) {
        if (folder.empty() && item->Done())
            folder = util::GetFolderOf(item->PdfPath());  // next to the books: the first one's
    }
    open->setEnabled(!folder.empty());
    connect(open, &QPushButton::clicked, this, [this, folder] { Open(folder); });
    summary_ = box;
    box->open();
}

void Application::StopConvert() {
    if (!worker_->IsBusy())
        return;
    worker_->Stop();  // the books that converted stay converted; the others wait for the next start
    ticker_.stop();
    for (const auto& item : worker_->Items()) UpdateItem(item);
    if (quitQuestion_)
        quitQuestion_->close();
    UpdateButtons();
    UpdateOverall();
    ShowInfo(RunSummary(CountRun(), true));
}

void Application::RequestQuit() {
    if (!worker_ || !worker_->IsBusy()) {
        if (window_)
            window_->Quit();
        return;
    }
    const std::string question = TrStd("正在转换中,是否退出?");
    if (messages_) {
        if (messages_(MessageKind::Question, question))
            window_->Quit();
        return;
    }
    if (quitQuestion_) {
        quitQuestion_->raise();
        return;
    }
    QMessageBox* box = Box(MessageKind::Question, question, "quit_question");
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this, box](int) {
        if (box->clickedButton() == box->button(QMessageBox::Yes) && window_)
            window_->Quit();
    });
    quitQuestion_ = box;
    box->open();
}

void Application::OnProgress(const std::shared_ptr<engine::ConversionItem>& item, bool allDone) {
    // Pool thread: the widgets are touched on the GUI thread, and only while this object lives.
    QMetaObject::invokeMethod(
        this,
        [this, item, allDone] {
            if (allDone) {
                RunOver();
                return;
            }
            if (item)
                UpdateItem(item);
            UpdateOverall();
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
        const QFileInfo pdf(QString::fromStdString(item->PdfPath()));
        row->SetResult(item->Done() ? item->pages.load() : 0, item->Done() ? pdf.size() : 0);
        window_->FitRow(key);
        if (item->Done() && recorded_.insert(item.get()).second) {
            finished_->Add({pdf.absoluteFilePath(), row->Title(), item->pages.load(), pdf.size(),
                            QDateTime::currentSecsSinceEpoch()});
            window_->ShowFinished(finished_->Books());
        }
    }
    UpdateButtons();
}

void Application::UpdateButtons() {
    bool canStart = false, canRetry = false, canClear = false;
    for (const auto& item : worker_->Items()) {
        canStart = canStart || !item->Done();
        canRetry = canRetry || item->Failed();
        canClear = canClear || item->Done();
    }
    window_->SetRunning(worker_->IsBusy(), canStart, canRetry, canClear);
}

void Application::UpdateOverall() {
    if (!worker_->IsBusy()) {
        // The list as it stands: what converted, what failed, what waits.
        int converted = 0, failed = 0, waiting = 0;
        for (const auto& item : worker_->Items())
            ++(item->Done() ? converted : item->Failed() ? failed : waiting);
        QStringList parts;
        if (converted > 0)
            parts << Tr("%1本已转换").arg(converted);
        if (failed > 0)
            parts << Tr("%1本失败").arg(failed);
        if (waiting > 0)
            parts << Tr("%1本等待转换").arg(waiting);
        window_->SetOverall(-1, parts.join("  ·  "));
        return;
    }
    int percents = 0, ended = 0;
    for (const auto& item : run_) {
        const engine::ItemState state = item->State();
        const bool over = item->Done() || item->Failed() || state == engine::ItemState::Cancelled;
        percents += over ? 100 : state == engine::ItemState::Converting ? item->progress.load() : 0;
        ended += over ? 1 : 0;
    }
    progress_.Update(percents, RunProgress::Clock::now());
    QString text = Tr("%1/%2本已完成").arg(ended).arg(run_.size());
    if (const QString left = RemainingText(progress_.SecondsLeft()); !left.isEmpty())
        text += "  ·  " + left;
    window_->SetOverall(progress_.Percent(), text);
}

std::shared_ptr<engine::ConversionItem> Application::CurrentItem() const {
    const std::string key = window_->GetRowKey(window_->CurrentRow()).toStdString();
    for (const auto& item : worker_->Items()) {
        if (!key.empty() && item->epubPath == key)
            return item;
    }
    return nullptr;
}

void Application::Open(const std::string& target) {
    if (opener_) {
        if (!opener_(target))
            ShowError(Tr("无法打开%1").arg(QString::fromStdString(target)).toStdString());
        return;
    }
    OpenWithShell(target, this, [this](const std::string& why) { ShowError(why); });
}

void Application::Reveal(const std::string& path) {
    if (reveal_) {
        reveal_(path);
        return;
    }
    RevealInExplorer(path, this, [this](const std::string& why) { ShowError(why); });
}

void Application::ViewEpub() {
    if (const auto item = CurrentItem())
        Reveal(item->epubPath);
}

void Application::ViewPdf() {
    const auto item = CurrentItem();
    if (!item)
        return;
    const std::string path = worker_->OutputPathOf(item->epubPath);
    if (path.empty()) {
        ShowError(TrStd("该epub还没有转换成pdf"));
        return;
    }
    Open(path);
}

void Application::ShowPdf() {
    if (const auto item = CurrentItem(); item && item->Done())
        Reveal(item->PdfPath());
}

void Application::OpenRow() {
    if (const auto item = CurrentItem(); item && item->Done())
        Open(item->PdfPath());
}

void Application::CancelRow() {
    if (const auto item = CurrentItem())
        worker_->CancelItem(item->epubPath);
}

void Application::RemoveRow() {
    const auto item = CurrentItem();
    if (item && worker_->RemoveItem(item->epubPath)) {
        recorded_.erase(item.get());
        window_->RemoveRow(QString::fromStdString(item->epubPath));
        UpdateButtons();
        UpdateOverall();
    }
}

void Application::ClearFinished() {
    for (const auto& item : worker_->Items()) {
        if (item->Done() && worker_->RemoveItem(item->epubPath)) {
            recorded_.erase(item.get());
            window_->RemoveRow(QString::fromStdString(item->epubPath));
        }
    }
    UpdateButtons();
    UpdateOverall();
}

void Application::OnFinished(const QString& command) {
    const QString pdf = window_->CurrentFinished();
    if (pdf.isEmpty())
        return;
    if (command == "open_finished")
        Open(pdf.toStdString());
    else if (command == "show_finished")
        Reveal(pdf.toStdString());
    else if (command == "remove_finished" && finished_->Remove(pdf))
        window_->ShowFinished(finished_->Books());
}

void Application::ShowSettings() {
    SettingsDialog dialog(util::GetSettingsPath(), window_.get());
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings();
}

void Application::ChooseOutputFolder(const QString& folder) {
    const std::string path = util::GetSettingsPath();
    settings::EditableSettings values = settings::ReadEditableSettings(path);
    values.outputFolder = folder.toStdString();
    if (!settings::WriteEditableSettings(path, values)) {
        ShowError(Tr("无法写入设置文件：%1").arg(QString::fromStdString(path)).toStdString());
        return;
    }
    ApplySettings();
}

void Application::ApplySettings() {
    const engine::EngineSettings settings = ReadSettings();
    worker_->Reconfigure(settings, frontend::ChooseBooksAtOnce(0, settings.jobs).books);
    // The books that wait go where the PDFs go now; converted ones stay where they are.
    if (!worker_->IsBusy()) {
        for (const auto& item : worker_->Items()) {
            if (!item->Done() && item->State() != engine::ItemState::Converting)
                item->SetPdfPath(util::JoinPath(output_.FolderFor(item->epubPath),
                                                util::GetFileName(item->epubPath, false) + ".pdf"));
        }
    }
    window_->SetOutputFolder(QString::fromStdString(output_.folder), {});
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

std::string Application::HelpPage() {
    const std::string name = ChineseLocale() ? "index.zh.html" : "index.en.html";
    const std::string candidates[] = {
        util::ToFullPath(util::GetModuleFolder() + "/../share/epub2pdf/help/" + name),
        std::string(EPUB2PDF_SOURCE_HELP) + "/" + name,
        HelpTarget() + "/" + name,
    };
    for (const std::string& candidate : candidates) {
        if (util::FileExists(candidate))
            return candidate;
    }
    return {};
}

void Application::ViewHelp() {
    const std::string page = HelpPage();
    if (page.empty()) {
        ShowError(TrStd("找不到帮助页"));
        return;
    }
    Open(QUrl::fromLocalFile(QString::fromStdString(page)).toString().toStdString());
}

void Application::ShowAbout() {
    const QString what = Tr("把EPUB电子书转换成PDF：书签跟随目录，链接在PDF里仍然有效。");
    const QString settings = Tr("设置保存在：%1").arg(QString::fromStdString(util::GetSettingsPath()));
    const QString version = Tr("版本 %1").arg(EPUB2PDF_VERSION);
    if (messages_) {
        messages_(MessageKind::Info,
                  (Tr(Title()) + "\n" + version + "\n" + what + "\n" + settings).toStdString());
        return;
    }
    auto* box = new QMessageBox(window_.get());
    box->setObjectName("about_box");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(Tr("关于%1").arg(Tr(Title())));
    box->setIconPixmap(QIcon(":/skin/logo.png").pixmap(64, 64));
    box->setTextFormat(Qt::RichText);
    box->setText(QString("<h3>%1</h3><p>%2</p><p>%3</p><p style='color:#607d8b'>%4</p>")
                     .arg(Tr(Title()).toHtmlEscaped(), version.toHtmlEscaped(), what.toHtmlEscaped(),
                          settings.toHtmlEscaped()));
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
}

}  // namespace shell
