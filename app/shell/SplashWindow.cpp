#include "app/shell/SplashWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "app/dialogs/BitmapLibrary.h"

namespace quaverly {

SplashWindow::SplashWindow(const QString& title, QWidget* parent)
    : QDialog(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setWindowTitle(title);
  // The picture covers the whole window; nothing is erased beneath it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(bitmapLibrary().bitmapSize(kBitmapId));
  // Centred on the screen the program starts on.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void SplashWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) QTimer::singleShot(kShowMilliseconds, this, &QDialog::accept);
}

void SplashWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  bitmapLibrary().drawAt(painter, QPoint(0, 0), kBitmapId);
}

}  // namespace quaverly
