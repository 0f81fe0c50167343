// A small picture of the page setup: the first two pages of a book on the paper as set (its shape,
// the margins, the text as large as the scale makes it), with the header and the page numbers where
// they will be, and the first page as it will be (without them unless it is numbered too).
#pragma once

#include <QWidget>

#include "engine/PageSetup.h"

namespace shell {

class PagePreview : public QWidget {
  public:
    explicit PagePreview(QWidget* parent = nullptr);
    void SetSetup(const engine::PageSetup& setup);
    const engine::PageSetup& Setup() const { return setup_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void PaintPage(class QPainter& painter, const QRectF& sheet, int number) const;
    engine::PageSetup setup_;
};

}  // namespace shell
