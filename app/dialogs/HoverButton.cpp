#include "app/dialogs/HoverButton.h"

#include <QMouseEvent>

namespace quaverly {

HoverButton::HoverButton(QWidget* parent) : HoverButton(QString(), parent) {}

// The pointer's moves over the button are followed also while no mouse button is
// held, so that it lights up again after dropHighlight when the pointer moves.
HoverButton::HoverButton(const QString& text, QWidget* parent) : QPushButton(text, parent) { setMouseTracking(true); }

void HoverButton::dropHighlight() { setHot(false); }

void HoverButton::setHot(bool hot) {
  if (hot_ == hot) return;
  hot_ = hot;
  emit hotChanged(hot);
}

void HoverButton::mouseMoveEvent(QMouseEvent* event) {
  setHot(rect().contains(event->position().toPoint()));
  QPushButton::mouseMoveEvent(event);
}

void HoverButton::enterEvent(QEnterEvent* event) {
  setHot(true);
  QPushButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event) {
  setHot(false);
  QPushButton::leaveEvent(event);
}

}  // namespace quaverly
