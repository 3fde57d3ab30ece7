#include "app/dialogs/TransferPicture.h"

#include <QPainter>

#include "app/dialogs/BitmapLibrary.h"

namespace quaverly {

TransferPicture::TransferPicture(int mask, int picture, int hotMask, int hotPicture, QWidget* parent)
    : QWidget(parent), mask_(mask), picture_(picture), hotMask_(hotMask), hotPicture_(hotPicture) {
  setObjectName(QStringLiteral("transferPicture"));
  setFixedSize(kSize);
}

void TransferPicture::setHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  update();
}

void TransferPicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().button());
  bitmapLibrary().drawWithRop(painter, QPoint(0, 0), hot_ ? hotMask_ : mask_, RasterOp::SourceAnd);
  bitmapLibrary().drawWithRop(painter, QPoint(0, 0), hot_ ? hotPicture_ : picture_, RasterOp::SourcePaint);
}

}  // namespace quaverly
