// A label of one line that shows as much of its text as fits, with an ellipsis where it is cut, and the
// whole text in its tool tip when it is cut.
#pragma once

#include <QLabel>

namespace shell {

class ElidedLabel : public QLabel {
  public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void SetFullText(const QString& text);
    const QString& FullText() const { return full_; }
    // Where the text is cut: at its end (the default), or in its middle (a file name keeps its ending).
    void SetElideMode(Qt::TextElideMode mode) { mode_ = mode; }
    // A tool tip of its own (shown whether or not the text is cut); the whole text when empty.
    void SetTip(const QString& tip);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void Elide();
    QString full_;
    QString tip_;
    Qt::TextElideMode mode_ = Qt::ElideRight;
};

}  // namespace shell
