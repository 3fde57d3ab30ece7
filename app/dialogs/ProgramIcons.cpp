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
  const QImage strip = bitmapLibrary().image(kToolbarStripBitmap);
  const QSize size = kToolbarImageSize;
  if (index < 0 || strip.width() < (index + 1) * size.width() || strip.height() < size.height()) return {};
  QPixmap image = QPixmap::fromImage(strip.copy(QRect(QPoint(index * size.width(), 0), size)));
  image.setMask(QBitmap::fromImage(image.toImage().createMaskFromColor(kToolbarKeyColour, Qt::MaskInColor)));
  return QIcon(image);
}

}  // namespace quaverly
