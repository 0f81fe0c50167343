#include "shell/PagePreview.h"

#include <QPainter>
#include <algorithm>

#include "shell/Translation.h"

namespace shell {

PagePreview::PagePreview(QWidget* parent) : QWidget(parent) {
    setObjectName("page_preview");
    setAccessibleName(Tr("页面预览"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

QSize PagePreview::sizeHint() const {
    const int unit = fontMetrics().height();
    return {unit * 16, unit * 12};
}

QSize PagePreview::minimumSizeHint() const {
    const int unit = fontMetrics().height();
    return {unit * 12, unit * 8};
}

void PagePreview::SetSetup(const engine::PageSetup& setup) {
    setup_ = setup;
    setToolTip(Tr("%1 × %2 mm")
                   .arg(setup.PaperWidth() * 25.4, 0, 'f', 0)
                   .arg(setup.PaperHeight() * 25.4, 0, 'f', 0));
    update();
}

void PagePreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Two pages, side by side or one above the other, whichever the widget shows larger.
    const double w = std::max(setup_.PaperWidth(), 0.1), h = std::max(setup_.PaperHeight(), 0.1);
    const double gap = 0.08 * std::min(w, h);
    const QRectF room = QRectF(rect()).adjusted(8, 8, -8, -8);
    const double across = std::min(room.width() / (2 * w + gap), room.height() / h);
    const double down = std::min(room.width() / w, room.height() / (2 * h + gap));
    const double scale = std::max(across, down);
    const QSizeF sheet(w * scale, h * scale);
    const QPointF step =
        across >= down ? QPointF(sheet.width() + gap * scale, 0) : QPointF(0, sheet.height() + gap * scale);
    const QSizeF both(sheet.width() + step.x(), sheet.height() + step.y());
    const QPointF first(room.left() + (room.width() - both.width()) / 2,
                        room.top() + (room.height() - both.height()) / 2);
    PaintPage(painter, QRectF(first, sheet), 1);
    PaintPage(painter, QRectF(first + step, sheet), 2);
}

void PagePreview::PaintPage(QPainter& painter, const QRectF& sheet, int number) const {
    const double perInch = sheet.width() / std::max(setup_.PaperWidth(), 0.1);
    painter.setPen(QPen(QColor("#b0bec5"), 1));
    painter.setBrush(Qt::white);
    painter.drawRect(sheet.translated(1.5, 1.5));
    painter.fillRect(sheet.translated(1.5, 1.5), QColor(0, 0, 0, 25));
    painter.drawRect(sheet);
    const QRectF text = sheet.adjusted(setup_.marginLeft * perInch, setup_.marginTop * perInch,
                                       -setup_.marginRight * perInch, -setup_.marginBottom * perInch);
    if (text.width() <= 1 || text.height() <= 1)
        return;
    // The margins, lightly; the text as grey lines, as dense as the scale makes them.
    painter.setPen(QPen(QColor("#e0f2f1"), 1, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(text);
    const double line = std::max(2.0, 0.17 * perInch * setup_.scale);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor("#cfd8dc"));
    int row = 0;
    for (double y = text.top() + line * (number == 1 ? 2.5 : 0.8); y + line * 0.45 <= text.bottom();
         y += line, ++row) {
        const double width = row % 6 == 5 ? text.width() * 0.55 : text.width();
        painter.drawRect(QRectF(text.left(), y, width, line * 0.45));
    }
    if (number == 1) {  // a heading on the first page
        painter.setBrush(QColor("#90a4ae"));
        painter.drawRect(QRectF(text.left(), text.top(), text.width() * 0.6, line * 1.1));
    }
    const bool stamped = number > 1 || setup_.numberFirstPage;
    QFont small = font();
    small.setPixelSize(std::max(6, static_cast<int>(line * 1.4)));
    painter.setFont(small);
    painter.setPen(QColor("#00796b"));
    if (setup_.header && stamped) {
        const QRectF band(text.left(), sheet.top(), text.width(), text.top() - sheet.top());
        painter.drawText(band, Qt::AlignCenter, Tr("书名"));
    }
    if (setup_.pageNumbers && stamped) {
        const QRectF band(text.left(), text.bottom(), text.width(), sheet.bottom() - text.bottom());
        Qt::Alignment side = Qt::AlignHCenter;
        switch (setup_.numberPosition) {
            case engine::NumberPosition::Left:
                side = Qt::AlignLeft;
                break;
            case engine::NumberPosition::Right:
                side = Qt::AlignRight;
                break;
            case engine::NumberPosition::Outside:
                side = number % 2 == 1 ? Qt::AlignRight : Qt::AlignLeft;
                break;
            case engine::NumberPosition::Center:
                break;
        }
        painter.drawText(band, side | Qt::AlignVCenter, QString::number(number));
    }
}

}  // namespace shell
