#include "app/dialogs/ProgramIcons.h"

#include <QAction>
#include <QBitmap>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QToolBar>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/UiText.h"

namespace quaverly {

namespace {

// The strip's background colour, shown as the toolbar's own.
constexpr QRgb kToolbarKeyColour = qRgb(192, 192, 192);
constexpr int kToolbarId = 1100;

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

QToolBar* createProgramToolbar(QWidget* parent, QRect geometry) {
  auto* toolbar = new QToolBar(parent);
  toolbar->setObjectName(QStringLiteral("toolbar"));
  toolbar->setProperty("controlId", kToolbarId);
  toolbar->setFloatable(false);
  toolbar->setMovable(false);
  toolbar->setIconSize(kToolbarImageSize);
  toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar->setGeometry(geometry);
  return toolbar;
}

QAction* addToolbarCommand(QToolBar* toolbar, int image, unsigned tooltip, int commandId, const char* objectName) {
  QAction* action = toolbar->addAction(toolbarImage(image), uiText(tooltip));
  action->setObjectName(QString::fromLatin1(objectName));
  action->setData(commandId);
  action->setToolTip(uiText(tooltip));
  return action;
}

}  // namespace quaverly
