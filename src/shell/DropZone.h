// What the empty conversion list shows: where books go (a zone to drop files and folders on) and the
// button that adds them. It lights up while something is dragged over the window.
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

namespace shell {

class DropZone : public QFrame {
  public:
    explicit DropZone(QWidget* parent = nullptr);
    // Lit while something that can be dropped is over the window.
    void SetDragging(bool dragging);
    QPushButton* AddButton() const { return add_; }
    // Scales the picture (zoom).
    void SetScale(double factor);

  private:
    QLabel* picture_;
    QPushButton* add_;
};

}  // namespace shell
