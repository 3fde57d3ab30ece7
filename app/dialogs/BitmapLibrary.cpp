#include "app/dialogs/BitmapLibrary.h"

#include <QPainter>
#include <QString>

#include <utility>

namespace quaverly {

namespace {

constexpr int kPaletteBitmap = 130;
constexpr int kPaletteSize = 256;

QPainter::CompositionMode compositionOf(RasterOp op) {
  switch (op) {
    case RasterOp::SourceAnd:
      return QPainter::RasterOp_SourceAndDestination;
    case RasterOp::SourcePaint:
      return QPainter::RasterOp_SourceOrDestination;
    case RasterOp::SourceCopy:
      break;
  }
  return QPainter::CompositionMode_Source;
}

}  // namespace

QImage resourceBitmap(int id, int scale) {
  const QString path = scale == 1 ? QStringLiteral(":/bitmaps/%1.bmp").arg(id)
                                  : QStringLiteral(":/bitmaps/%1@%2x.png").arg(id).arg(scale);
  return QImage(path);
}

BitmapLibrary::BitmapLibrary(BitmapSource source) : source_(std::move(source)) {}

bool BitmapLibrary::createPalette() {
  const QList<QRgb> colours = entry(kPaletteBitmap).image.colorTable();
  palette_.clear();
  if (colours.isEmpty()) return true;
  palette_ = colours;
  // An 8-bit picture may list fewer colours; the rest of the palette is black.
  palette_.resize(kPaletteSize, qRgb(0, 0, 0));
  return palette_.size() == kPaletteSize;
}

void BitmapLibrary::deletePalette() { palette_.clear(); }

BitmapLibrary::Entry& BitmapLibrary::entry(int bitmapId) {
  for (Entry& known : cache_) {
    if (known.id == bitmapId) return known;
  }
  cache_.push_back(Entry{bitmapId, source_ ? source_(bitmapId, 1) : QImage(), QImage(), false});
  return cache_.back();
}

const QImage& BitmapLibrary::imageFor(Entry& known, qreal devicePixelRatio) {
  if (devicePixelRatio <= 1.0 || known.image.isNull()) return known.image;
  if (!known.doubleSizeLocated) {
    known.doubleSizeLocated = true;
    if (source_) known.doubleSize = source_(known.id, 2);
    // Only a picture of exactly twice the size stands in for the original.
    if (known.doubleSize.size() != known.image.size() * 2) known.doubleSize = QImage();
    known.doubleSize.setDevicePixelRatio(2.0);
  }
  return known.doubleSize.isNull() ? known.image : known.doubleSize;
}

void BitmapLibrary::drawAt(QPainter& painter, QPoint at, int bitmapId) {
  drawWithRop(painter, at, bitmapId, RasterOp::SourceCopy);
}

void BitmapLibrary::drawWithRop(QPainter& painter, QPoint at, int bitmapId, RasterOp op) {
  Entry& known = entry(bitmapId);
  if (known.image.isNull()) return;
  const QImage& picture = imageFor(known, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
  const QPainter::CompositionMode previous = painter.compositionMode();
  painter.setCompositionMode(compositionOf(op));
  painter.drawImage(QRect(at, known.image.size()), picture);
  painter.setCompositionMode(previous);
}

QSize BitmapLibrary::bitmapSize(int bitmapId) {
  const QImage& image = entry(bitmapId).image;
  return image.isNull() ? QSize() : image.size();
}

QImage BitmapLibrary::image(int bitmapId, qreal devicePixelRatio) {
  return imageFor(entry(bitmapId), devicePixelRatio);
}

void BitmapLibrary::releaseCache() { cache_.clear(); }

void BitmapLibrary::setSource(BitmapSource source) {
  source_ = std::move(source);
  cache_.clear();
}

BitmapLibrary& bitmapLibrary() {
  static BitmapLibrary library;
  return library;
}

}  // namespace quaverly
