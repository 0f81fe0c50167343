#include "shell/ConversionRow.h"

#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "frontend/States.h"
#include "shell/ElidedLabel.h"
#include "shell/Translation.h"

namespace shell {
namespace {

constexpr int kCoverWidth = 36, kCoverHeight = 48;
constexpr int kIconWidth = 32, kIconHeight = 26;

}  // namespace

QString ReadableSize(qint64 bytes) {
    if (bytes < 1024)
        return QString("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QString("%1 KB").arg(std::max<qint64>(1, (bytes + 512) / 1024));
    return QString("%1 MB").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

ConversionRow::ConversionRow(const QString& epubPath, const QString& displayName, int index, QWidget* parent)
    : QWidget(parent), epubPath_(epubPath), fileName_(displayName) {
    setObjectName("convert_row");
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(12);

    cover_ = new QLabel(this);
    cover_->setObjectName("book_cover");
    cover_->setAlignment(Qt::AlignCenter);
    layout->addWidget(cover_);

    // The book: title, author and file, progress, why it failed.
    auto* middle = new QVBoxLayout();
    middle->setSpacing(3);
    name_ = new ElidedLabel(this);
    name_->setObjectName("epub_name");
    name_->SetFullText(displayName);
    detail_ = new ElidedLabel(this);
    detail_->setObjectName("epub_detail");
    detail_->SetElideMode(Qt::ElideMiddle);
    detail_->SetFullText(QFileInfo(epubPath).absolutePath());
    progress_ = new QProgressBar(this);
    progress_->setObjectName("convert_progress");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(Tr("转换进度"));
    reason_ = new ElidedLabel(this);
    reason_->setObjectName("failure_reason");
    reason_->hide();
    middle->addStretch(1);
    middle->addWidget(name_);
    middle->addWidget(detail_);
    middle->addWidget(progress_);
    middle->addWidget(reason_);
    middle->addStretch(1);
    layout->addLayout(middle, 1);

    // The state: icon and text, and what the PDF came to.
    statusColumn_ = new QWidget(this);
    auto* column = new QVBoxLayout(statusColumn_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    auto* stateLine = new QHBoxLayout();
    stateLine->setSpacing(4);
    icon_ = new QPushButton(statusColumn_);
    icon_->setObjectName("epub_ico");
    icon_->setFlat(true);
    icon_->setFocusPolicy(Qt::NoFocus);
    icon_->setIcon(QIcon(":/skin/downlist_ok.png"));
    icon_->setAccessibleName(Tr("状态"));
    status_ = new QLabel(Tr(frontend::StatusText(engine::ItemState::Ready)), statusColumn_);
    status_->setObjectName("status");
    status_->setStyleSheet("color: #009688;");
    stateLine->addWidget(icon_);
    stateLine->addWidget(status_, 1);
    result_ = new QLabel(statusColumn_);
    result_->setObjectName("pdf_detail");
    result_->setIndent(0);
    column->addStretch(1);
    column->addLayout(stateLine);
    column->addWidget(result_);
    column->addStretch(1);
    layout->addWidget(statusColumn_);

    // The buttons, each in a place of its own whether or not it shows.
    actions_ = new QWidget(this);
    auto* buttons = new QHBoxLayout(actions_);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(2);
    viewPdf_ = MakeButton("view_pdf", Tr("打开PDF"));
    viewPdf_->setToolTip(Tr("用默认的程序打开转换好的PDF"));
    viewEpub_ = MakeButton("view_epub", Tr("查看epub"));
    viewEpub_->setToolTip(Tr("在文件管理器中显示这本EPUB"));
    cancel_ = MakeButton("row_cancel", Tr("取消"));
    cancel_->setToolTip(Tr("停止转换这本书；它等待下一次开始"));
    remove_ = MakeButton("row_remove", Tr("移除"));
    remove_->setToolTip(Tr("从列表中移除这本书（文件不会删除）"));
    for (QPushButton* button : {viewPdf_, viewEpub_, cancel_, remove_}) {
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
        buttons->addWidget(button);
    }
    layout->addWidget(actions_);

    SetIndex(index);
    SetState(false, false);
    SetScale(1.0);
}

QPushButton* ConversionRow::MakeButton(const char* name, const QString& text) {
    auto* button = new QPushButton(text, actions_);
    button->setObjectName(name);
    button->setProperty("kind", "link");
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);  // the list itself has the keyboard: Enter, Delete, the menu key
    button->setAccessibleName(text);
    return button;
}

QLabel* ConversionRow::Reason() const {
    return reason_;
}

void ConversionRow::SetScale(double factor) {
    scale_ = factor;
    Relayout();
    ShowCover();
}

void ConversionRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        Relayout();
}

void ConversionRow::Relayout() {
    const auto scaled = [this](int size) { return static_cast<int>(std::lround(size * scale_)); };
    layout()->setContentsMargins(scaled(10), scaled(6), scaled(10), scaled(6));
    cover_->setFixedSize(scaled(kCoverWidth), scaled(kCoverHeight));
    icon_->setFixedSize(scaled(kIconWidth), scaled(kIconHeight));
    icon_->setIconSize(QSize(scaled(kIconWidth), scaled(kIconHeight)));
    progress_->setFixedHeight(std::max(3, scaled(7)));
    result_->setContentsMargins(scaled(kIconWidth) + 4, 0, 0, 0);  // under the state's text
    // The columns of every row: as wide as the widest state ("转换完成（有警告） 100%") and as all the
    // buttons.
    const QFontMetrics metrics(status_->font());
    int widest = metrics.horizontalAdvance(Tr("%1页").arg(9999) + " · 999.9 MB");
    for (const frontend::StateNames& names : frontend::kStateNames)
        widest =
            std::max(widest, metrics.horizontalAdvance(Tr(names.text) + " 100%") + scaled(kIconWidth) + 4);
    statusColumn_->setFixedWidth(widest + scaled(8));
    int buttons = 0;
    for (QPushButton* button : {viewPdf_, viewEpub_, cancel_, remove_})
        buttons += button->sizeHint().width() + 2;
    actions_->setFixedWidth(buttons);
    updateGeometry();
}

void ConversionRow::SetIndex(int index) {
    for (QPushButton* button : {viewEpub_, viewPdf_, cancel_, remove_})
        button->setProperty("userData", QString::number(index));
}

void ConversionRow::SetState(bool converting, bool converted) {
    viewPdf_->setVisible(converted);
    cancel_->setVisible(converting);
    remove_->setEnabled(!converting);
}

void ConversionRow::SetBook(const QString& title, const QString& author, const QImage& cover) {
    title_ = title;
    if (!title.isEmpty()) {
        name_->SetFullText(title);
        detail_->SetFullText(author.isEmpty() ? fileName_ : author + "  ·  " + fileName_);
        detail_->SetTip(epubPath_);
    }
    coverImage_ = cover;
    ShowCover();
}

void ConversionRow::ShowCover() {
    const QSize box = cover_->size();
    const qreal ratio = devicePixelRatioF();
    QPixmap picture = coverImage_.isNull() ? QIcon(":/skin/cover.png").pixmap(box, ratio)
                                           : QPixmap::fromImage(coverImage_.scaled(
                                                 box * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    picture.setDevicePixelRatio(ratio);
    cover_->setPixmap(picture);
}

void ConversionRow::SetResult(int pages, qint64 bytes) {
    result_->setText(pages > 0 ? Tr("%1页").arg(pages) + " · " + ReadableSize(bytes) : QString());
}

void ConversionRow::SetReason(const QString& reason) {
    reason_->SetFullText(reason);
    reason_->setVisible(!reason.isEmpty());
}

void ConversionRow::Update(int percent, engine::ItemState state, const QString& iconName) {
    iconName_ = iconName;
    icon_->setIcon(QIcon(":/skin/" + iconName + ".png"));
    const QString text = Tr(frontend::StatusText(state));
    status_->setText(percent < 1 ? text : QString("%1 %2%").arg(text).arg(percent));
    QString colour = "#009688";
    if (state == engine::ItemState::Failed)
        colour = "#ff0000";
    else if (state == engine::ItemState::Stopped || state == engine::ItemState::Cancelled)
        colour = "#78909c";
    status_->setStyleSheet("color: " + colour + ";");
    progress_->setValue(percent);
    icon_->setAccessibleDescription(status_->text());
}

}  // namespace shell
