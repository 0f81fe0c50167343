#include "shell/FinishedPage.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "shell/ConversionRow.h"
#include "shell/ElidedLabel.h"
#include "shell/Translation.h"

namespace shell {

FinishedPage::FinishedPage(QWidget* parent) : QWidget(parent) {
    setObjectName("finished_page");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    auto* empty = new QLabel(Tr("转换好的PDF会列在这里，下次打开时也在。"), pages_);
    empty->setObjectName("finished_empty");
    empty->setAlignment(Qt::AlignCenter);
    empty->setWordWrap(true);
    list_ = new QListWidget(pages_);
    list_->setObjectName("history_list");
    list_->setAccessibleName(Tr("已完成"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (handler_)
            handler_("open_finished", item->data(Qt::UserRole).toString());
    });
    pages_->addWidget(empty);
    pages_->addWidget(list_);
    layout->addWidget(pages_);
}

QString FinishedPage::CurrentPdf() const {
    const QListWidgetItem* item = list_->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toString() : QString();
}

void FinishedPage::Show(const QVector<FinishedBook>& books) {
    books_ = books;
    const QString current = CurrentPdf();
    list_->clear();
    for (const FinishedBook& book : books) {
        auto* item = new QListWidgetItem(list_);
        item->setData(Qt::UserRole, book.pdf);
        item->setData(Qt::AccessibleTextRole,
                      book.title.isEmpty() ? QFileInfo(book.pdf).fileName() : book.title);
        list_->setItemWidget(item, MakeRow(book));
        if (book.pdf == current)
            list_->setCurrentItem(item);
    }
    Fit();
    pages_->setCurrentIndex(books.isEmpty() ? 0 : 1);
}

QWidget* FinishedPage::MakeRow(const FinishedBook& book) {
    const QFileInfo file(book.pdf);
    const bool there = file.exists();
    auto* row = new QWidget(list_);
    row->setObjectName("finished_row");
    auto* layout = new QHBoxLayout(row);
    const int margin = static_cast<int>(8 * scale_);
    layout->setContentsMargins(margin + 2, margin, margin + 2, margin);
    layout->setSpacing(static_cast<int>(12 * scale_));
    auto* icon = new QLabel(row);
    const QSize iconSize(static_cast<int>(32 * scale_), static_cast<int>(26 * scale_));
    icon->setPixmap(QIcon(":/skin/pdf.png")
                        .pixmap(iconSize, devicePixelRatioF(), there ? QIcon::Normal : QIcon::Disabled));
    icon->setFixedSize(iconSize);
    layout->addWidget(icon);
    auto* text = new QVBoxLayout();
    text->setSpacing(2);
    auto* name = new ElidedLabel(row);
    name->setObjectName("finished_name");
    name->SetFullText(book.title.isEmpty() ? file.fileName() : book.title);
    name->setEnabled(there);
    auto* detail = new ElidedLabel(row);
    detail->setObjectName("finished_detail");
    detail->SetElideMode(Qt::ElideMiddle);
    QStringList facts;
    if (!there)
        facts << Tr("文件已不在");
    if (book.pages > 0)
        facts << Tr("%1页").arg(book.pages) << ReadableSize(book.bytes);
    if (book.when > 0)
        facts << QLocale().toString(QDateTime::fromSecsSinceEpoch(book.when), QLocale::ShortFormat);
    facts << book.pdf;
    detail->SetFullText(facts.join("  ·  "));
    detail->SetTip(book.pdf);
    text->addWidget(name);
    text->addWidget(detail);
    layout->addLayout(text, 1);
    const std::pair<const char*, QString> buttons[] = {{"open_finished", Tr("打开")},
                                                       {"show_finished", Tr("在文件夹中显示")},
                                                       {"remove_finished", Tr("从列表中移除")}};
    for (const auto& [objectName, label] : buttons) {
        auto* button = new QPushButton(label, row);
        button->setObjectName(objectName);
        button->setProperty("kind", "link");
        button->setProperty("userData", book.pdf);
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAccessibleName(label);
        button->setEnabled(there || std::string(objectName) == "remove_finished");
        connect(button, &QPushButton::clicked, this, [this, command = QString(objectName), pdf = book.pdf] {
            if (handler_)
                handler_(command, pdf);
        });
        layout->addWidget(button);
    }
    return row;
}

void FinishedPage::SetScale(double factor) {
    scale_ = factor;
    Show(books_);
}

void FinishedPage::Fit() {
    for (int i = 0; i < list_->count(); ++i) {
        QWidget* row = list_->itemWidget(list_->item(i));
        row->ensurePolished();
        list_->item(i)->setSizeHint(QSize(0, row->sizeHint().height()));
    }
}

}  // namespace shell
