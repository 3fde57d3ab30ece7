// A command button drawn as a picture that follows the pointer: the normal picture,
// the hover picture while the pointer is over it, the pressed picture while the left
// button is held on it. Releasing the button over it posts its command; the picture
// then stays pressed, whatever the pointer does, until the command's owner calls
// reset().
#pragma once

#include <QWidget>

namespace quaverly {

class PictureButton : public QWidget {
  Q_OBJECT

 public:
  // Bits of state().
  static constexpr int kPointerInside = 1;
  static constexpr int kButtonHeld = 2;

  explicit PictureButton(QWidget* parent = nullptr);

  // Places the button at `rect` (parent coordinates) in `parent` and shows it;
  // releasing the left button over it posts `commandId`.
  void create(const QRect& rect, QWidget* parent, int commandId);
  void setBitmaps(int normal, int pressed, int hover);
  // Shows the pressed picture at once (while the button's command runs).
  void showPressed();
  // Back to the normal picture (when the command has ended).
  void reset();

  int state() const { return state_; }
  int commandId() const { return commandId_; }
  // The bitmap the current state shows.
  int currentBitmap() const;

 signals:
  // Emitted through the event queue after a release over the button, so that the
  // command runs after the mouse event has been handled.
  void commandPosted(int commandId);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void pointerAt(bool inside);
  bool inputBlocked() const;
  void setState(int state);

  int commandId_ = 0;
  int normalBitmap_ = 0;
  int pressedBitmap_ = 0;
  int hoverBitmap_ = 0;
  int state_ = 0;
  bool pressStarted_ = false;  // a left press on the button is being held
  bool held_ = false;          // shown pressed for a command until reset()
};

}  // namespace quaverly
