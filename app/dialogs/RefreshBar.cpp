#include "app/dialogs/RefreshBar.h"

#include <QAction>
#include <QBitmap>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QToolBar>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/dialogs/UiText.h"
#include "app/messages/UiStrings.h"

namespace quaverly {

namespace {

constexpr QSize kButtonImageSize{16, 17};
constexpr int kRefreshImage = 2;
constexpr unsigned kRefreshTooltipString = 28;
constexpr QPoint kPictureAt{19, 26};

// The toolbar strip's background colour, shown as the toolbar's own.
constexpr QRgb kToolbarKeyColour = qRgb(192, 192, 192);

// Image `index` of a strip of equal images side by side, its key colour made
// transparent.
QIcon stripImage(int bitmapId, int index, QSize imageSize) {
  const QImage strip = bitmapLibrary().image(bitmapId);
  if (strip.width() < (index + 1) * imageSize.width() || strip.height() < imageSize.height()) return {};
  QPixmap image = QPixmap::fromImage(strip.copy(QRect(QPoint(index * imageSize.width(), 0), imageSize)));
  image.setMask(QBitmap::fromImage(image.toImage().createMaskFromColor(kToolbarKeyColour, Qt::MaskInColor)));
  return QIcon(image);
}

}  // namespace

RefreshBar::RefreshBar(QWidget* owner) : QWidget(owner) {
  setFont(dialogFont());
  resize(DialogUnits(dialogFont()).size(93, 25));

  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("toolbar"));
  toolbar_->setProperty("controlId", kToolbarId);
  toolbar_->setFloatable(false);
  toolbar_->setMovable(false);
  toolbar_->setIconSize(kButtonImageSize);
  toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  toolbar_->setGeometry(0, 0, 100, 25);

  QAction* refresh =
      toolbar_->addAction(stripImage(kToolbarImages, kRefreshImage, kButtonImageSize), uiText(kRefreshTooltipString));
  refresh->setObjectName(QStringLiteral("refreshAction"));
  refresh->setData(kRefreshCommand);
  refresh->setToolTip(uiText(kRefreshTooltipString));
  connect(refresh, &QAction::triggered, this, &RefreshBar::refreshRequested);
  show();
}

void RefreshBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  bitmapLibrary().drawWithRop(painter, kPictureAt, kPictureMask, RasterOp::SourceAnd);
  bitmapLibrary().drawWithRop(painter, kPictureAt, kPicture, RasterOp::SourcePaint);
}

}  // namespace quaverly
