#include "shell/ConversionRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "frontend/States.h"
#include "shell/Translation.h"

namespace shell {

ConversionRow::ConversionRow(const QString& displayName, int index, QWidget* parent) : QWidget(parent) {
    setObjectName("convert_row");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 5, 3, 5);
    layout->setSpacing(10);

    icon_ = new QPushButton(this);
    icon_->setObjectName("epub_ico");
    icon_->setFlat(true);
    icon_->setIcon(QIcon(":/skin/downlist_ok.png"));
    layout->addWidget(icon_);

    auto* middle = new QVBoxLayout();
    middle->setAlignment(Qt::AlignVCenter);
    name_ = new QLabel(displayName, this);
    name_->setObjectName("epub_name");
    name_->setTextFormat(Qt::PlainText);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("convert_progress");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(200);
    reason_ = new QLabel(this);
    reason_->setObjectName("failure_reason");
    reason_->setTextFormat(Qt::PlainText);
    reason_->setStyleSheet("color: #ff0000;");
    reason_->setWordWrap(true);
    reason_->hide();
    middle->addWidget(name_);
    middle->addWidget(progress_);
    middle->addWidget(reason_);
    layout->addLayout(middle, 1);

    auto* right = new QVBoxLayout();
    status_ = new QLabel(Tr(frontend::StatusText(engine::ItemState::Ready)), this);
    status_->setObjectName("status");
    status_->setAlignment(Qt::AlignCenter);
    status_->setStyleSheet("color: #009688;");
    auto* links = new QHBoxLayout();
    links->setAlignment(Qt::AlignCenter);
    viewEpub_ = new QPushButton(Tr("查看epub"), this);
    viewEpub_->setObjectName("view_epub");
    viewEpub_->setCursor(Qt::PointingHandCursor);
    viewEpub_->setFlat(true);
    auto* spacer = new QLabel(this);
    spacer->setFixedWidth(8);
    viewPdf_ = new QPushButton(Tr("查看pdf"), this);
    viewPdf_->setObjectName("view_pdf");
    viewPdf_->setCursor(Qt::PointingHandCursor);
    viewPdf_->setFlat(true);
    action_ = new QPushButton(Tr("移除"), this);
    action_->setObjectName("row_action");
    action_->setCursor(Qt::PointingHandCursor);
    action_->setFlat(true);
    SetIndex(index);
    viewPdf_->hide();  // until the book converted
    links->addWidget(viewEpub_);
    links->addWidget(spacer);
    links->addWidget(viewPdf_);
    links->addWidget(action_);
    right->addWidget(status_);
    right->addLayout(links);
    layout->addLayout(right, 1);
    SetScale(1.0);
}

void ConversionRow::SetScale(double factor) {
    const int icon = static_cast<int>(32 * factor);
    icon_->setFixedWidth(icon);
    icon_->setIconSize(QSize(icon, static_cast<int>(26 * factor)));
    progress_->setFixedHeight(static_cast<int>(7 * factor));
    setMinimumHeight(static_cast<int>(kHeight * factor));
}

void ConversionRow::SetIndex(int index) {
    for (QPushButton* link : {viewEpub_, viewPdf_, action_})
        link->setProperty("userData", QString::number(index));
}

void ConversionRow::SetState(bool converting, bool converted) {
    action_->setText(converting ? Tr("取消") : Tr("移除"));
    viewPdf_->setVisible(converted);
}

void ConversionRow::SetReason(const QString& reason) {
    reason_->setText(reason);
    reason_->setVisible(!reason.isEmpty());
}

void ConversionRow::Update(int percent, engine::ItemState state, const QString& iconName) {
    iconName_ = iconName;
    icon_->setIcon(QIcon(":/skin/" + iconName + ".png"));
    const QString text = Tr(frontend::StatusText(state));
    status_->setText(percent < 1 ? text : QString("%1 %2%").arg(text).arg(percent));
    status_->setStyleSheet(state == engine::ItemState::Failed ? "color: #ff0000;" : "color: #009688;");
    progress_->setValue(percent);
}

}  // namespace shell
