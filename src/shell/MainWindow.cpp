#include "shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/ConversionRow.h"
#include "shell/Literals.h"
#include "shell/ShellOperations.h"
#include "shell/Translation.h"
#include "util/Folders.h"

namespace shell {

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

    // Header: logo, title and the commands; the window's buttons are its frame's.
    auto* header = new QWidget(central);
    header->setObjectName("header");
    auto* top = new QHBoxLayout(header);
    top->setContentsMargins(14, 10, 10, 10);
    auto* logo = new QLabel(header);
    logo->setObjectName("logo");
    logo->setPixmap(QPixmap(":/skin/logo.png").scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto* titleLabel = new QLabel(title, header);
    titleLabel->setObjectName("title");
    top->addWidget(logo);
    top->addWidget(titleLabel);
    top->addStretch(1);
    top->addWidget(MakeButton("add_epub", Tr("添加EPUB"), header));
    top->addWidget(MakeButton("start_convert", Tr("开始转换"), header));
    QPushButton* stop = MakeButton("stop_convert", Tr("停止转换"), header);
    stop->setEnabled(false);
    top->addWidget(stop);
    top->addWidget(MakeButton("view_help", Tr("帮助"), header));
    layout->addWidget(header);

    // Tab options.
    auto* tabsBar = new QWidget(central);
    tabsBar->setObjectName("tabs");
    auto* tabsLayout = new QHBoxLayout(tabsBar);
    tabsLayout->setContentsMargins(10, 0, 10, 0);
    auto* listOption = MakeButton("convert_list", Tr("转换列表"), tabsBar);
    auto* historyOption = MakeButton("down_his", Tr("已完成"), tabsBar);
    for (QPushButton* option : {listOption, historyOption}) {
        // Wide enough for its text in bold, as the chosen tab shows it.
        QFont bold = option->font();
        bold.setBold(true);
        option->setMinimumWidth(QFontMetrics(bold).horizontalAdvance(option->text()) + 44);
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
    tabsLayout->addWidget(MakeButton("clear_finished", Tr("清除已完成"), tabsBar));
    tabsLayout->addWidget(MakeButton("settings", Tr("设置"), tabsBar));
    layout->addWidget(tabsBar);

    tabs_ = new QStackedWidget(central);
    tabs_->setObjectName("tab_main");
    list_ = new QListWidget(tabs_);
    list_->setObjectName("convert_list");
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { currentRow_ = row; });
    history_ = new QListWidget(tabs_);
    history_->setObjectName("history_list");
    connect(history_, &QListWidget::itemDoubleClicked, this, [](QListWidgetItem* item) {
        OpenWithShell(QUrl::fromLocalFile(item->text()).toString().toStdString());
    });
    tabs_->addWidget(list_);
    tabs_->addWidget(history_);
    layout->addWidget(tabs_, 1);
    setCentralWidget(central);
    listOption->setChecked(true);

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
    if (const QScreen* screen = QApplication::primaryScreen())
        PlaceOn(screen->availableGeometry());
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

void MainWindow::SetRunning(bool running) {
    if (auto* start = findChild<QPushButton*>("start_convert"))
        start->setEnabled(!running);
    if (auto* stop = findChild<QPushButton*>("stop_convert"))
        stop->setEnabled(running);
}

QPushButton* MainWindow::MakeButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QPushButton::clicked, this, [this, button] { OnClick(button); });
    return button;
}

void MainWindow::BindCommands(std::map<QString, Command> commands, Command onQuitRequest,
                              std::function<void(const QStringList&)> onFilesDropped) {
    commands_ = std::move(commands);
    onQuitRequest_ = std::move(onQuitRequest);
    onFilesDropped_ = std::move(onFilesDropped);
}

void MainWindow::OnClick(QObject* sender) {
    const QString name = sender->objectName();
    if (name == "quitbtn")
        return Quit();
    if (name == "view_pdf" || name == "view_epub" || name == "row_action") {
        bool ok = false;
        const int row = sender->property("userData").toString().toInt(&ok);
        if (ok) {
            const QSignalBlocker block(list_);
            list_->setCurrentRow(row);
            currentRow_ = row;
        }
    }
    auto it = commands_.find(name);
    if (it != commands_.end() && it->second)
        it->second();
}

void MainWindow::OnSelectChanged(const QString& senderName) {
    if (senderName == "convert_list")
        tabs_->setCurrentIndex(0);
    if (senderName == "down_his")
        tabs_->setCurrentIndex(1);
}

int MainWindow::AddRow(const QString& epubPath, const QString& displayName) {
    if (list_ == nullptr)
        return -1;
    std::lock_guard lock(rowsLock_);
    auto* item = new QListWidgetItem(list_);
    const QString& key = epubPath;  // paths are compared exactly: a.epub and A.epub are two files
    item->setData(Qt::UserRole, key);
    const int index = list_->count() - 1;
    auto* row = new ConversionRow(displayName, index, list_);
    row->SetScale(scale_);
    for (QPushButton* link : {row->ViewEpub(), row->ViewPdf(), row->Action()}) {
        connect(link, &QPushButton::clicked, this, [this, link] { OnClick(link); });
    }
    item->setSizeHint(QSize(0, static_cast<int>(ConversionRow::kHeight * scale_) + 10));
    list_->setItemWidget(item, row);
    rows_[key] = index;
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

void MainWindow::FitRow(const QString& epubPath) {
    std::lock_guard lock(rowsLock_);
    auto it = rows_.find(epubPath);
    if (it == rows_.end())
        return;
    QListWidgetItem* item = list_->item(it->second);
    auto* row = static_cast<ConversionRow*>(list_->itemWidget(item));
    const int base = static_cast<int>(ConversionRow::kHeight * scale_) + 10;
    item->setSizeHint(QSize(0, std::max(base, row != nullptr ? row->sizeHint().height() : 0)));
}

void MainWindow::AddHistory(const QString& pdfPath) {
    if (history_->findItems(pdfPath, Qt::MatchExactly).isEmpty())
        history_->addItem(pdfPath);
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

void MainWindow::resizeEvent(QResizeEvent* event) {
    // Only the size of a normal window is kept.
    if (settings_ && !isMaximized() && !isMinimized() && !isFullScreen()) {
        settings_->SetInts({{"width", event->size().width()}, {"height", event->size().height()}});
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
    // The style sheet fixes some sizes in pixels, and under a style sheet the application font alone
    // does not reach every widget: the sheet is applied again with every size scaled, under a rule that
    // gives all text the zoomed size.
    QVariant base = qApp->property("epub2pdf_base_style");
    if (!base.isValid()) {
        base = qApp->styleSheet();
        qApp->setProperty("epub2pdf_base_style", base);
    }
    QString sheet = base.toString();
    static const QRegularExpression pixels(R"(font-size:\s*(\d+)px)");
    QString scaled;
    qsizetype last = 0;
    for (auto it = pixels.globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        scaled += sheet.mid(last, match.capturedStart() - last);
        scaled += QString("font-size: %1px").arg(qRound(match.captured(1).toInt() * scale_));
        last = match.capturedEnd();
    }
    scaled += sheet.mid(last);
    qApp->setStyleSheet(QString("QWidget { font-size: %1pt; }\n").arg(baseFontPoints_ * scale_, 0, 'f', 1) +
                        scaled);
    if (list_ == nullptr)
        return;
    for (int i = 0; i < list_->count(); ++i) {
        list_->item(i)->setSizeHint(QSize(0, static_cast<int>(ConversionRow::kHeight * scale_) + 10));
        if (ConversionRow* row = Row(i))
            row->SetScale(scale_);
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
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
