#include "app/dialogs/PictureButton.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include "app/dialogs/BitmapLibrary.h"

namespace quaverly {

PictureButton::PictureButton(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  // Nothing is erased before the picture is drawn. The main window's rectangles are
  // a pixel wider than their pictures; there the parent's picture shows through.
  setFocusPolicy(Qt::NoFocus);
}

void PictureButton::create(const QRect& rect, QWidget* parent, int commandId) {
  setParent(parent);
  setGeometry(rect);
  commandId_ = commandId;
  show();
}

void PictureButton::setBitmaps(int normal, int pressed, int hover) {
  normalBitmap_ = normal;
  pressedBitmap_ = pressed;
  hoverBitmap_ = hover;
  update();
}

void PictureButton::showPressed() {
  held_ = true;
  state_ = kPointerInside | kButtonHeld;
  repaint();
}

void PictureButton::reset() {
  held_ = false;
  pressStarted_ = false;
  setState(0);
}

int PictureButton::currentBitmap() const {
  switch (state_) {
    case kPointerInside:
      return hoverBitmap_;
    case kPointerInside | kButtonHeld:
      return pressedBitmap_;
    default:
      return normalBitmap_;
  }
}

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  bitmapLibrary().drawAt(painter, QPoint(0, 0), currentBitmap());
}

void PictureButton::setState(int state) {
  if (state_ == state) return;
  state_ = state;
  update();
}

// The pointer changes nothing while the button is held pressed for a command, nor
// while its window is disabled or another window is modal over it.
bool PictureButton::inputBlocked() const {
  if (held_ || !isEnabled()) return true;
  QWidget* modal = QApplication::activeModalWidget();
  return modal && modal != window() && !modal->isAncestorOf(this);
}

void PictureButton::pointerAt(bool inside) {
  if (inputBlocked()) return;
  if (inside) {
    setState(state_ | kPointerInside);
  } else {
    setState(state_ & kButtonHeld);
  }
}

void PictureButton::mouseMoveEvent(QMouseEvent* event) { pointerAt(rect().contains(event->position().toPoint())); }

void PictureButton::enterEvent(QEnterEvent*) { pointerAt(true); }

void PictureButton::leaveEvent(QEvent*) {
  // While a press is held the button keeps receiving the pointer's moves and
  // follows them; a leave then changes nothing.
  if (!pressStarted_) pointerAt(false);
}

void PictureButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || inputBlocked()) return;
  pressStarted_ = true;
  setState(kPointerInside | kButtonHeld);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !pressStarted_) return;
  pressStarted_ = false;
  if (rect().contains(event->position().toPoint())) {
    // The pressed picture stays until the command's owner calls reset().
    held_ = true;
    QMetaObject::invokeMethod(
        this, [this, id = commandId_] { emit commandPosted(id); }, Qt::QueuedConnection);
  } else {
    setState(0);
  }
}

// A double-click neither presses the button nor sends its command a second time.
void PictureButton::mouseDoubleClickEvent(QMouseEvent*) {}

}  // namespace quaverly
