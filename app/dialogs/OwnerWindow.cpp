#include "app/dialogs/OwnerWindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QWindow>

namespace quaverly {

QWidget* ownerWindowFor(QWidget* parent) {
  if (parent) return parent->window();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* topLevel : QApplication::topLevelWidgets()) {
    if (topLevel->isVisible() && qobject_cast<QMainWindow*>(topLevel)) return topLevel;
  }
  return nullptr;
}

void placeInFrontOf(QWidget* window, QWidget* owner) {
  if (!owner) return;
  QWidget* ownerWindow = owner->window();
  window->winId();  // creates the native window, so that it can be given a transient parent
  if (QWindow* handle = window->windowHandle(); handle && ownerWindow->windowHandle()) {
    handle->setTransientParent(ownerWindow->windowHandle());
  }
  const QRect frame = ownerWindow->frameGeometry();
  window->move(frame.center() - QPoint(window->width() / 2, window->height() / 2));
}

OwnerDisabler::OwnerDisabler(QWidget* owner) {
  if (owner && owner->isEnabled()) {
    owner->setEnabled(false);
    owner_ = owner;
  }
}

OwnerDisabler::~OwnerDisabler() {
  if (owner_) owner_->setEnabled(true);
}

}  // namespace quaverly
