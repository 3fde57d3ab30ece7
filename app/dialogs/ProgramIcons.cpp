#include "app/dialogs/ProgramIcons.h"

#include <QBitmap>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QString>

#include "app/dialogs/BitmapLibrary.h"

namespace quaverly {

namespace {

// The strip's background colour, shown as the toolbar's own.
constexpr QRgb kToolbarKeyColour = qRgb(192, 192, 192);

}  // namespace

QIcon programIcon(int id) {
  QIcon icon;
  for (const int size : {16, 32, 64}) {
    const QString path = QStringLiteral(":/icons/%1-%2.png").arg(id).arg(size);
    if (QFile::exists(path)) icon.addFile(path, QSize(size, size));
  }
  return icon;
}

QIcon toolbarImage(int index) {
  QIcon icon;
  // The strip at its own size, and the double-size strip for screens of two pixels
  // per point when there is one.
  for (const int ratio : {1, 2}) {
    const QImage strip = bitmapLibrary().image(kToolbarStripBitmap, ratio);
    if (strip.isNull() || static_cast<int>(strip.devicePixelRatio()) != ratio) continue;
    const QSize size = kToolbarImageSize * ratio;
    if (index < 0 || strip.width() < (index + 1) * size.width() || strip.height() < size.height()) continue;
    QPixmap image = QPixmap::fromImage(strip.copy(QRect(QPoint(index * size.width(), 0), size)));
    image.setMask(QBitmap::fromImage(image.toImage().createMaskFromColor(kToolbarKeyColour, Qt::MaskInColor)));
    image.setDevicePixelRatio(ratio);
    icon.addPixmap(image);
  }
  return icon;
}

}  // namespace quaverly
