// The action button of the Receive and Transmit dialog: an ordinary push button
// that tells its owner when the pointer comes onto it and leaves it, so that the
// owner can highlight its illustration.
#pragma once

#include <QPushButton>

namespace quaverly {

class HoverButton : public QPushButton {
  Q_OBJECT

 public:
  explicit HoverButton(QWidget* parent = nullptr);
  explicit HoverButton(const QString& text, QWidget* parent = nullptr);

  // True while the pointer is over the button.
  bool isHot() const { return hot_; }
  // As if the pointer had left the button (when a transfer starts).
  void dropHighlight();

 signals:
  void hotChanged(bool hot);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void setHot(bool hot);

  bool hot_ = false;
};

}  // namespace quaverly
