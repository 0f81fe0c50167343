#include "shell/ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

namespace shell {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::SetFullText(const QString& text) {
    full_ = text;
    Elide();
    updateGeometry();
}

void ElidedLabel::SetTip(const QString& tip) {
    tip_ = tip;
    Elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(QStringLiteral("…")) * 3, metrics.height()};
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(full_) + 2, metrics.height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Elide();
}

void ElidedLabel::Elide() {
    const QString shown = QFontMetrics(font()).elidedText(full_, mode_, width());
    if (shown != text())
        setText(shown);
    setToolTip(!tip_.isEmpty() ? tip_ : shown != full_ ? full_ : QString());
}

}  // namespace shell
