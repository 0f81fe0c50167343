#include "shell/DropZone.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "shell/Translation.h"

namespace shell {

DropZone::DropZone(QWidget* parent) : QFrame(parent) {
    setObjectName("drop_zone");
    setProperty("dragging", false);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addStretch(1);
    picture_ = new QLabel(this);
    picture_->setObjectName("drop_picture");
    picture_->setAlignment(Qt::AlignCenter);
    auto* hint = new QLabel(Tr("把EPUB文件或文件夹拖到这里"), this);
    hint->setObjectName("empty_hint");
    hint->setAlignment(Qt::AlignCenter);
    auto* detail =
        new QLabel(Tr("文件夹里的EPUB（连同子文件夹里的）都会加入列表。也可以按Ctrl+O选择文件。"), this);
    detail->setObjectName("empty_detail");
    detail->setAlignment(Qt::AlignCenter);
    detail->setWordWrap(true);
    add_ = new QPushButton(Tr("选择EPUB文件…"), this);
    add_->setObjectName("add_epub_empty");
    add_->setProperty("kind", "plain");
    add_->setCursor(Qt::PointingHandCursor);
    add_->setAccessibleName(Tr("选择EPUB文件"));
    layout->addWidget(picture_);
    layout->addWidget(hint);
    layout->addWidget(detail);
    layout->addSpacing(6);
    layout->addWidget(add_, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    setAccessibleName(Tr("把EPUB文件或文件夹拖到这里"));
    SetScale(1.0);
}

void DropZone::SetDragging(bool dragging) {
    if (property("dragging").toBool() == dragging)
        return;
    setProperty("dragging", dragging);
    style()->unpolish(this);
    style()->polish(this);
    update();
}

void DropZone::SetScale(double factor) {
    const int side = static_cast<int>(72 * factor);
    picture_->setPixmap(QIcon(":/skin/drop.png").pixmap(QSize(side, side), devicePixelRatioF()));
    const int margin = static_cast<int>(24 * factor);
    layout()->setContentsMargins(margin, margin, margin, margin);
}

}  // namespace shell
