// Helpers of the GUI tests: answering a modal window once it is up, test pictures
// held in memory, pixel checks and optional screenshots.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <map>
#include <utility>

namespace quaverly::test {

// Runs `act` on the first modal widget that comes up (polled on the event loop), so a
// test can answer a dialog that it opens with exec().
inline void whenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(modal);
  });
  timer->start();
}

// Clicks the button named `objectName` in `window`.
inline void clickButton(QWidget* window, const char* objectName) {
  auto* button = window->findChild<QAbstractButton*>(QString::fromLatin1(objectName));
  QVERIFY2(button, objectName);
  QTest::mouseClick(button, Qt::LeftButton);
}

// A picture of one colour.
inline QImage solidImage(QSize size, QColor colour) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

// Pictures by id, as the bitmap library's source; anything else does not exist.
inline std::function<QImage(int, int)> picturesSource(std::map<int, QImage> pictures) {
  return [pictures = std::move(pictures)](int id, int scale) -> QImage {
    if (scale != 1) return {};
    const auto found = pictures.find(id);
    return found == pictures.end() ? QImage() : found->second;
  };
}

// Saves `widget` as <name>.png into the folder named by QUAVERLY_GUI_SHOTS, if set,
// so the windows can be looked at.
inline void saveShot(QWidget* widget, const QString& name) {
  const QString folder = qEnvironmentVariable("QUAVERLY_GUI_SHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  widget->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

// True when every visible button and label of `window` is as wide as its size hint
// and at least one line of its font high: no text is cut.
inline bool textsFit(QWidget* window, QString* culprit) {
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (!child->isVisibleTo(window)) continue;
    if (!qobject_cast<QAbstractButton*>(child) && !child->inherits("QLabel")) continue;
    const QSize hint = child->sizeHint();
    if (child->width() < hint.width() || child->height() < child->fontMetrics().height()) {
      *culprit = child->objectName() + QStringLiteral(" %1x%2 < %3x%4")
                                           .arg(child->width())
                                           .arg(child->height())
                                           .arg(hint.width())
                                           .arg(hint.height());
      return false;
    }
  }
  return true;
}

}  // namespace quaverly::test
