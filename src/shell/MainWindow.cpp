#include "shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/ConversionRow.h"
#include "shell/DropZone.h"
#include "shell/FinishedPage.h"
#include "shell/Literals.h"
#include "shell/Translation.h"
#include "util/Folders.h"

namespace shell {
namespace {

// The text of a button as a screen reader says it: without the mnemonic's ampersand.
QString Spoken(const QString& text) {
    QString spoken = text;
    return spoken.remove('&');
}

}  // namespace

MainWindow::MainWindow(const QString& title) : title_(title) {
    setObjectName(QString::fromStdString(WindowClassName()));
    setWindowTitle(title);
    setAcceptDrops(true);
    // The unzoomed font size, taken once: a zoom changes the application font itself.
    static const int unzoomed = QApplication::font().pointSize() > 0 ? QApplication::font().pointSize() : 10;
    baseFontPoints_ = unzoomed;

    auto* central = new QWidget(this);
    central->setObjectName("central");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header: logo, title and the commands that are not the run's; the window's buttons are its frame's.
    auto* header = new QWidget(central);
    header->setObjectName("top_bar");
    auto* top = new QHBoxLayout(header);
    top->setContentsMargins(14, 10, 12, 10);
    top->setSpacing(8);
    logo_ = new QLabel(header);
    logo_->setObjectName("logo");
    auto* titleLabel = new QLabel(title, header);
    titleLabel->setObjectName("title");
    top->addWidget(logo_);
    top->addWidget(titleLabel);
    top->addStretch(1);
    QPushButton* add = MakeButton("add_epub", Tr("添加EPUB…"), header);
    add->setToolTip(Tr("选择要转换的EPUB文件（Ctrl+O）"));
    QPushButton* settingsButton = MakeButton("settings", Tr("设置"), header);
    settingsButton->setToolTip(Tr("纸张、页边距、页码、输出文件夹和浏览器"));
    QPushButton* help = MakeButton("view_help", Tr("帮助"), header);
    help->setToolTip(Tr("打开使用说明（F1）"));
    QPushButton* about = MakeButton("about", Tr("关于"), header);
    for (QPushButton* button : {add, settingsButton, help, about}) top->addWidget(button);
    layout->addWidget(header);

    // Tab options, and the list's own commands.
    tabsBar_ = new QWidget(central);
    QWidget* tabsBar = tabsBar_;
    tabsBar->setObjectName("tabs");
    auto* tabsLayout = new QHBoxLayout(tabsBar);
    tabsLayout->setContentsMargins(10, 0, 10, 0);
    listTab_ = MakeButton("convert_list", Tr("转换列表"), tabsBar);
    finishedTab_ = MakeButton("down_his", Tr("已完成"), tabsBar);
    for (QPushButton* option : {listTab_, finishedTab_}) {
        option->setCheckable(true);
        option->setAutoExclusive(true);
        disconnect(option, nullptr, this, nullptr);
        connect(option, &QPushButton::toggled, this, [this, option](bool on) {
            if (on)
                OnSelectChanged(option->objectName());
        });
        tabsLayout->addWidget(option);
    }
    tabsLayout->addStretch(1);
    QPushButton* retry = MakeButton("retry_failed", Tr("重试失败的"), tabsBar, "plain");
    retry->setToolTip(Tr("再次转换失败的书"));
    QPushButton* clear = MakeButton("clear_finished", Tr("清除已完成"), tabsBar, "plain");
    clear->setToolTip(Tr("从列表中移除已转换的书（PDF不会删除）"));
    tabsLayout->addWidget(retry);
    tabsLayout->addWidget(clear);
    layout->addWidget(tabsBar);

    tabs_ = new QStackedWidget(central);
    tabs_->setObjectName("tab_main");
    listPages_ = new QStackedWidget(tabs_);
    listPages_->setObjectName("list_pages");
    auto* invitation = new QWidget(listPages_);
    auto* invitationLayout = new QVBoxLayout(invitation);
    invitationLayout->setContentsMargins(24, 20, 24, 20);
    dropZone_ = new DropZone(invitation);
    connect(dropZone_->AddButton(), &QPushButton::clicked, this, [this] { Run("add_epub"); });
    invitationLayout->addWidget(dropZone_);
    list_ = new QListWidget(listPages_);
    list_->setObjectName("convert_list");
    list_->setAccessibleName(Tr("转换列表"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { currentRow_ = row; });
    // A double click or Enter opens the converted PDF.
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        currentRow_ = list_->row(item);
        Run("open_row");
    });
    connect(list_, &QListWidget::customContextMenuRequested, this, &MainWindow::ShowRowMenu);
    listPages_->addWidget(invitation);
    listPages_->addWidget(list_);
    finished_ = new FinishedPage(tabs_);
    finished_->SetHandler([this](const QString& command, const QString& pdf) {
        currentFinished_ = pdf;
        Run(command);
    });
    tabs_->addWidget(listPages_);
    tabs_->addWidget(finished_);
    layout->addWidget(tabs_, 1);

    // Footer: how the run goes, where the PDFs go, and the run's buttons.
    auto* footer = new QWidget(central);
    footer->setObjectName("footer");
    auto* bottom = new QHBoxLayout(footer);
    bottom->setContentsMargins(14, 10, 14, 10);
    bottom->setSpacing(10);
    overall_ = new QProgressBar(footer);
    overall_->setObjectName("overall_progress");
    overall_->setRange(0, 100);
    overall_->setTextVisible(false);
    overall_->setAccessibleName(Tr("总进度"));
    overall_->setMaximumWidth(220);
    overall_->hide();
    overallText_ = new QLabel(footer);
    overallText_->setObjectName("overall_text");
    auto* outputLabel = new QLabel(Tr("输出到："), footer);
    outputLabel->setObjectName("output_label");
    output_ = MakeButton("output_choice", QString(), footer, "plain");
    outputLabel->setBuddy(output_);
    outputMenu_ = new QMenu(output_);
    outputMenu_->setObjectName("output_menu");
    output_->setMenu(outputMenu_);
    QPushButton* stop = MakeButton("stop_convert", Tr("停止"), footer, "plain");
    stop->setToolTip(Tr("停止转换；已转换的保留，其余的等待下一次开始（Esc）"));
    QPushButton* start = MakeButton("start_convert", Tr("开始转换"), footer);
    start->setToolTip(Tr("转换列表中等待的书（Ctrl+Enter）"));
    bottom->addWidget(overall_);
    bottom->addWidget(overallText_, 1);
    bottom->addWidget(outputLabel);
    bottom->addWidget(output_);
    bottom->addSpacing(8);
    bottom->addWidget(stop);
    bottom->addWidget(start);
    layout->addWidget(footer);
    setCentralWidget(central);
    listTab_->setChecked(true);

    // The keyboard, in the window and whatever has its focus.
    const std::pair<QKeySequence, const char*> keys[] = {
        {QKeySequence::Open, "add_epub"},
        {QKeySequence(Qt::Key_Delete), "delete"},
        {QKeySequence::Quit, "quit"},
        {QKeySequence::HelpContents, "view_help"},
        {QKeySequence(Qt::Key_Escape), "stop_convert"},
        {QKeySequence(Qt::CTRL | Qt::Key_Return), "start_convert"},
        {QKeySequence(Qt::CTRL | Qt::Key_Enter), "start_convert"},
        {QKeySequence(Qt::CTRL | Qt::Key_Comma), "settings"},
    };
    for (const auto& [sequence, name] : keys) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setObjectName(QString("key_") + name);
        connect(shortcut, &QShortcut::activated, this, [this, command = QString(name)] {
            if (command == "quit")
                return RequestQuit();
            if (command == "delete") {
                if (tabs_->currentIndex() == 1) {
                    currentFinished_ = finished_->CurrentPdf();
                    return Run(currentFinished_.isEmpty() ? QString() : "remove_finished");
                }
                return Run(currentRow_ >= 0 ? "row_remove" : QString());
            }
            Run(command);
        });
    }
    // The tab order runs from the header down to the footer.
    QWidget* order[] = {add,
                        settingsButton,
                        help,
                        about,
                        listTab_,
                        finishedTab_,
                        retry,
                        clear,
                        dropZone_->AddButton(),
                        list_,
                        finished_->List(),
                        output_,
                        stop,
                        start};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    // Icon, tray, zoom and the saved size.
    setWindowIcon(QIcon(":/skin/logo.png"));
    if (trayEnabled_ && tray_ == nullptr) {
        tray_ = new QSystemTrayIcon(QIcon(":/skin/logo.png"), this);
        tray_->setToolTip(title);
        auto* menu = new QMenu(this);
        QAction* exit = menu->addAction(Tr("退出"));
        connect(exit, &QAction::triggered, this, [this] { RequestQuit(); });
        tray_->setContextMenu(menu);
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                BringToFront();
        });
        if (QSystemTrayIcon::isSystemTrayAvailable())
            tray_->show();
    }
    settings_ = std::make_unique<settings::SettingsStore>(util::GetSettingsPath(), "app");
    zoom_ = std::make_unique<ZoomController>(settings::SettingsStore(util::GetSettingsPath(), "app"),
                                             [this](int dpi) { ApplyZoom(dpi); });
    const int width = settings_->GetInt("width", -1);
    const int height = settings_->GetInt("height", -1);
    // A first start (no size saved) takes the default size.
    resize(width > 0 ? width : 960, height > 0 ? height : 600);
    if (width > 0 && height > 0)
        keptSize_ = QSize(width, height);
    if (const QScreen* screen = QApplication::primaryScreen())
        PlaceOn(screen->availableGeometry());
    SetOutputFolder(QString(), {});
    SetRunning(false, false, false, false);
    ShowListOrInvitation();
}

MainWindow::~MainWindow() = default;

void MainWindow::PlaceOn(const QRect& available) {
    // Never larger than the screen's free area, and centred on it: never off its edges.
    resize(std::min(width(), available.width()), std::min(height(), available.height()));
    const QRect frame = frameGeometry();
    QPoint corner = available.center() - QPoint(frame.width() / 2, frame.height() / 2);
    corner.setX(std::clamp(corner.x(), available.left(),
                           std::max(available.left(), available.right() - frame.width() + 1)));
    corner.setY(std::clamp(corner.y(), available.top(),
                           std::max(available.top(), available.bottom() - frame.height() + 1)));
    move(corner);
}

void MainWindow::SetRunning(bool running, bool canStart, bool canRetry, bool canClear) {
    const std::pair<const char*, bool> states[] = {{"start_convert", !running && canStart},
                                                   {"stop_convert", running},
                                                   {"retry_failed", !running && canRetry},
                                                   {"clear_finished", canClear},
                                                   {"output_choice", !running}};
    for (const auto& [name, enabled] : states) {
        if (auto* button = findChild<QPushButton*>(name))
            button->setEnabled(enabled);
    }
    if (auto* start = findChild<QPushButton*>("start_convert"))
        start->setToolTip(running    ? Tr("正在转换")
                          : canStart ? Tr("转换列表中等待的书（Ctrl+Enter）")
                                     : Tr("先添加EPUB文件"));
}

void MainWindow::SetOverall(int percent, const QString& text) {
    overall_->setVisible(percent >= 0);
    overall_->setValue(std::max(percent, 0));
    overallText_->setText(text);
    setWindowTitle(percent >= 0 ? QString("%1% — %2").arg(percent).arg(title_) : title_);
}

void MainWindow::SetOutputFolder(const QString& folder, const QStringList& recent) {
    const QString beside = Tr("每本书所在的文件夹");
    QString shown = folder.isEmpty() ? beside : folder;
    const QString home = QDir::homePath();
    if (!folder.isEmpty() && (folder == home || folder.startsWith(home + "/")))
        shown = "~" + folder.mid(home.size());
    const QFontMetrics metrics(output_->font());
    output_->setText(metrics.elidedText(shown, Qt::ElideMiddle, metrics.horizontalAdvance('x') * 28));
    output_->setToolTip(Tr("PDF保存到：%1").arg(folder.isEmpty() ? beside : folder));
    output_->setAccessibleName(Tr("输出到：%1").arg(folder.isEmpty() ? beside : folder));
    outputMenu_->clear();
    auto choose = [this](const QString& chosen) {
        chosenFolder_ = chosen;
        Run("output_folder");
    };
    QAction* besideAction = outputMenu_->addAction(beside, this, [choose] { choose(QString()); });
    besideAction->setCheckable(true);
    besideAction->setChecked(folder.isEmpty());
    QStringList folders = recent;
    if (!folder.isEmpty() && !folders.contains(folder))
        folders.prepend(folder);
    for (const QString& other : folders) {
        QAction* action = outputMenu_->addAction(other, this, [choose, other] { choose(other); });
        action->setCheckable(true);
        action->setChecked(other == folder);
    }
    outputMenu_->addSeparator();
    outputMenu_->addAction(Tr("选择文件夹…"), this, [this] { Run("choose_output"); });
}

QPushButton* MainWindow::MakeButton(const QString& name, const QString& text, QWidget* parent,
                                    const char* kind) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    if (kind != nullptr)
        button->setProperty("kind", kind);
    button->setCursor(Qt::PointingHandCursor);
    button->setAccessibleName(Spoken(text));
    connect(button, &QPushButton::clicked, this, [this, button] { OnClick(button); });
    return button;
}

void MainWindow::BindCommands(std::map<QString, Command> commands, Command onQuitRequest,
                              std::function<void(const QStringList&)> onFilesDropped) {
    commands_ = std::move(commands);
    onQuitRequest_ = std::move(onQuitRequest);
    onFilesDropped_ = std::move(onFilesDropped);
}

void MainWindow::Run(const QString& name) {
    auto it = commands_.find(name);
    if (it != commands_.end() && it->second)
        it->second();
}

void MainWindow::OnClick(QObject* sender) {
    const QString name = sender->objectName();
    if (name == "quitbtn")
        return Quit();
    static const QStringList rowCommands = {"view_pdf", "view_epub", "row_cancel", "row_remove"};
    if (rowCommands.contains(name)) {
        bool ok = false;
        const int row = sender->property("userData").toString().toInt(&ok);
        if (ok) {
            const QSignalBlocker block(list_);
            list_->setCurrentRow(row);
            currentRow_ = row;
        }
    }
    Run(name);
}

void MainWindow::OnSelectChanged(const QString& senderName) {
    if (senderName == "convert_list")
        tabs_->setCurrentIndex(0);
    if (senderName == "down_his")
        tabs_->setCurrentIndex(1);
    for (QPushButton* tab : {listTab_, finishedTab_}) {
        const QSignalBlocker block(tab);
        tab->setChecked(tab->objectName() == senderName);
    }
}

void MainWindow::ShowRowMenu(const QPoint& at) {
    QListWidgetItem* item = list_->itemAt(at);
    if (item == nullptr)
        item = list_->currentItem();
    if (item == nullptr)
        return;
    currentRow_ = list_->row(item);
    list_->setCurrentRow(currentRow_);
    const ConversionRow* row = Row(currentRow_);
    if (row == nullptr)
        return;
    QMenu menu(this);
    menu.setObjectName("row_menu");
    const bool converted = !row->ViewPdf()->isHidden(), converting = !row->Cancel()->isHidden();
    const std::tuple<const char*, QString, bool> entries[] = {
        {"view_pdf", Tr("打开PDF"), converted},        {"show_pdf", Tr("在文件夹中显示PDF"), converted},
        {"view_epub", Tr("在文件夹中显示EPUB"), true}, {nullptr, QString(), false},
        {"row_cancel", Tr("取消"), converting},        {"row_remove", Tr("移除"), !converting},
    };
    for (const auto& [name, text, enabled] : entries) {
        if (name == nullptr) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(text, this, [this, command = QString(name)] { Run(command); });
        action->setEnabled(enabled);
    }
    menu.exec(list_->viewport()->mapToGlobal(at));
}

int MainWindow::AddRow(const QString& epubPath, const QString& displayName) {
    if (list_ == nullptr)
        return -1;
    int index;
    {
        std::lock_guard lock(rowsLock_);
        auto* item = new QListWidgetItem(list_);
        const QString& key = epubPath;  // paths are compared exactly: a.epub and A.epub are two files
        item->setData(Qt::UserRole, key);
        item->setData(Qt::AccessibleTextRole, displayName);  // what the list says of the row
        index = list_->count() - 1;
        auto* row = new ConversionRow(epubPath, displayName, index, list_);
        row->SetScale(scale_);
        for (QPushButton* link : {row->ViewEpub(), row->ViewPdf(), row->Cancel(), row->Remove()}) {
            connect(link, &QPushButton::clicked, this, [this, link] { OnClick(link); });
        }
        list_->setItemWidget(item, row);
        rows_[key] = index;
    }
    FitRow(epubPath);
    ShowListOrInvitation();
    return index;
}

void MainWindow::UpdateRow(const QString& epubPath, int percent, engine::ItemState state,
                           const QString& iconName) {
    int index;
    {
        std::lock_guard lock(rowsLock_);
        auto it = rows_.find(epubPath);
        if (it == rows_.end())
            return;
        index = it->second;
    }
    if (ConversionRow* row = Row(index))
        row->Update(percent, state, iconName);
}

void MainWindow::RemoveRow(const QString& epubPath) {
    {
        std::lock_guard lock(rowsLock_);
        auto it = rows_.find(epubPath);
        if (it == rows_.end())
            return;
        const int index = it->second;
        delete list_->takeItem(index);  // the row widget goes with its item
        rows_.clear();
        for (int i = 0; i < list_->count(); ++i) {
            rows_[list_->item(i)->data(Qt::UserRole).toString()] = i;
            if (auto* row = static_cast<ConversionRow*>(list_->itemWidget(list_->item(i))))
                row->SetIndex(i);
        }
        currentRow_ = list_->currentRow();
    }
    ShowListOrInvitation();
}

void MainWindow::FitRow(const QString& epubPath) {
    std::lock_guard lock(rowsLock_);
    auto it = rows_.find(epubPath);
    if (it == rows_.end())
        return;
    QListWidgetItem* item = list_->item(it->second);
    if (auto* row = static_cast<ConversionRow*>(list_->itemWidget(item))) {
        row->ensurePolished();
        row->layout()->activate();
        item->setSizeHint(QSize(0, row->sizeHint().height()));
    }
}

void MainWindow::FitRows() {
    for (int i = 0; i < list_->count(); ++i) FitRow(GetRowKey(i));
}

void MainWindow::ShowListOrInvitation() {
    listPages_->setCurrentIndex(list_->count() == 0 ? 0 : 1);
    UpdateTabs();
}

void MainWindow::ShowFinished(const QVector<FinishedBook>& books) {
    finished_->Show(books);
    finishedCount_ = static_cast<int>(books.size());
    UpdateTabs();
}

void MainWindow::UpdateTabs() {
    const int books = list_ != nullptr ? list_->count() : 0;
    listTab_->setText(books > 0 ? Tr("转换列表（%1）").arg(books) : Tr("转换列表"));
    finishedTab_->setText(finishedCount_ > 0 ? Tr("已完成（%1）").arg(finishedCount_) : Tr("已完成"));
    for (QPushButton* tab : {listTab_, finishedTab_}) {
        // Wide enough for its text in bold, as the chosen tab shows it, at every zoom.
        QFont bold = tab->font();
        bold.setBold(true);
        tab->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(tab->text()) +
                             static_cast<int>(44 * scale_));
        tab->setAccessibleName(tab->text());
    }
    // As tall as the tabs' text at this zoom: never the height of an earlier zoom.
    tabsBar_->setMinimumHeight(QFontMetrics(listTab_->font()).height() + static_cast<int>(24 * scale_));
}

QString MainWindow::GetRowKey(int index) const {
    if (index < 0 || index >= list_->count())
        return {};
    return list_->item(index)->data(Qt::UserRole).toString();
}

ConversionRow* MainWindow::Row(int index) const {
    if (index < 0 || index >= list_->count())
        return nullptr;
    return static_cast<ConversionRow*>(list_->itemWidget(list_->item(index)));
}

ConversionRow* MainWindow::RowOf(const QString& epubPath) const {
    std::lock_guard lock(rowsLock_);
    auto it = rows_.find(epubPath);
    return it == rows_.end() ? nullptr : Row(it->second);
}

int MainWindow::RowCount() const {
    return list_->count();
}

void MainWindow::RequestQuit() {
    if (onQuitRequest_) {
        onQuitRequest_();
    } else {
        Quit();
    }
}

void MainWindow::Quit() {
    quitting_ = true;
    if (tray_ != nullptr)
        tray_->hide();
    QApplication::exit(0);
}

void MainWindow::BringToFront() {
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (quitting_) {
        event->accept();
        return;
    }
    // The window manager's close button goes through the quit request.
    event->ignore();
    RequestQuit();
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!focused_) {
        focused_ = true;
        if (auto* add = findChild<QPushButton*>("add_epub"))
            add->setFocus(Qt::TabFocusReason);  // the keyboard starts at the header
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    // Only the size of a normal window is kept, and only the user's: a window that grew past the size kept
    // because a zoom needs more room keeps the size it had before, for a later zoom that needs less.
    const QSize size = event->size(), least = minimumSizeHint().expandedTo(minimumSize());
    const bool forced = (size.width() > keptSize_.width() && size.width() <= least.width()) ||
                        (size.height() > keptSize_.height() && size.height() <= least.height());
    if (settings_ && !forced && !isMaximized() && !isMinimized() && !isFullScreen()) {
        settings_->SetInts({{"width", size.width()}, {"height", size.height()}});
        keptSize_ = size;
    }
    QMainWindow::resizeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (zoom_) {
        if (event->modifiers() & Qt::ControlModifier) {
            switch (event->key()) {
                case Qt::Key_Plus:
                case Qt::Key_Equal:
                    zoom_->ZoomIn();
                    return;
                case Qt::Key_Minus:
                    zoom_->ZoomOut();
                    return;
                case Qt::Key_0:
                    zoom_->ZoomReset();
                    return;
                default:
                    break;
            }
        } else if (event->text().size() == 1 && zoom_->HandleCharacter(event->text().at(0).toLatin1())) {
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::ApplyZoom(int dpi) {
    scale_ = dpi / 96.0;
    QFont font = QApplication::font();
    font.setPointSizeF(baseFontPoints_ * scale_);
    QApplication::setFont(font);
    setFont(font);
    // The style sheet fixes sizes in pixels, and under a style sheet the application font alone does not
    // reach every widget: the sheet is applied again with every size scaled, under a rule that gives all
    // text the zoomed size.
    QVariant base = qApp->property("epub2pdf_base_style");
    if (!base.isValid()) {
        base = qApp->styleSheet();
        qApp->setProperty("epub2pdf_base_style", base);
    }
    const QString sheet = base.toString();
    static const QRegularExpression pixels(R"((\d+(?:\.\d+)?)px)");
    QString scaled;
    qsizetype last = 0;
    for (auto it = pixels.globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        scaled += sheet.mid(last, match.capturedStart() - last);
        const double size = match.captured(1).toDouble() * scale_;
        scaled += QString("%1px").arg(std::max(1, qRound(size)));
        last = match.capturedEnd();
    }
    scaled += sheet.mid(last);
    qApp->setStyleSheet(QString("QWidget { font-size: %1pt; }\n").arg(baseFontPoints_ * scale_, 0, 'f', 1) +
                        scaled);
    const int side = static_cast<int>(32 * scale_);
    if (logo_ != nullptr)
        logo_->setPixmap(QIcon(":/skin/logo.png").pixmap(QSize(side, side), devicePixelRatioF()));
    if (list_ == nullptr)
        return;
    for (int i = 0; i < list_->count(); ++i) {
        if (ConversionRow* row = Row(i))
            row->SetScale(scale_);
    }
    FitRows();
    dropZone_->SetScale(scale_);
    finished_->SetScale(scale_);
    UpdateTabs();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        dropZone_->SetDragging(true);
    }
}

void MainWindow::dragLeaveEvent(QDragLeaveEvent* event) {
    dropZone_->SetDragging(false);
    QMainWindow::dragLeaveEvent(event);
}

void MainWindow::dropEvent(QDropEvent* event) {
    dropZone_->SetDragging(false);
    // One drop is one batch.
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile());
    }
    if (!paths.isEmpty() && onFilesDropped_)
        onFilesDropped_(paths);
    event->acceptProposedAction();
}

}  // namespace shell
