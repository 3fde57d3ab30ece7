// The program's pictures: bitmap resources looked up by id, drawn 1:1 or with a
// raster operation, and the shared 256-colour palette taken from the main picture
// (bitmap 130).
//
// A bitmap is located the first time it is drawn or measured and stays loaded until
// releaseCache(). User-interface thread only.
#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRgb>
#include <QSize>

#include <functional>
#include <vector>

class QPainter;

namespace quaverly {

// How drawWithRop combines a picture with what is already drawn.
enum class RasterOp { SourceCopy, SourceAnd, SourcePaint };

// Locates bitmap `id` drawn at `scale` (1, or 2 for the high-DPI version); a null
// image when it does not exist.
using BitmapSource = std::function<QImage(int id, int scale)>;

// The program's resources: ":/bitmaps/<id>.bmp" and ":/bitmaps/<id>@2x.png".
QImage resourceBitmap(int id, int scale);

class BitmapLibrary {
 public:
  explicit BitmapLibrary(BitmapSource source = resourceBitmap);

  // Builds the palette from the colour table of bitmap 130; without that bitmap the
  // palette stays empty. False only when the palette cannot be held in memory.
  bool createPalette();
  void deletePalette();
  // The shared palette: 256 colours, or none before createPalette.
  const QList<QRgb>& palette() const { return palette_; }

  // Draws the bitmap at its own size with its top-left corner at `at`. On a device
  // with more than one pixel per unit the double-size picture is used if it exists.
  void drawAt(QPainter& painter, QPoint at, int bitmapId);
  void drawWithRop(QPainter& painter, QPoint at, int bitmapId, RasterOp op);
  // The bitmap's size in pixels; empty when it does not exist.
  QSize bitmapSize(int bitmapId);
  // The bitmap itself (null when it does not exist), for callers that cut it up;
  // for a device pixel ratio above 1 the double-size picture (of that ratio) when it
  // exists.
  QImage image(int bitmapId, qreal devicePixelRatio = 1.0);

  // Forgets every loaded bitmap (at exit).
  void releaseCache();

  // Replaces where bitmaps come from and forgets the loaded ones.
  void setSource(BitmapSource source);

 private:
  struct Entry {
    int id;
    QImage image;
    QImage doubleSize;
    bool doubleSizeLocated;
  };
  Entry& entry(int bitmapId);
  const QImage& imageFor(Entry& entry, qreal devicePixelRatio);

  BitmapSource source_;
  std::vector<Entry> cache_;
  QList<QRgb> palette_;
};

// The program-wide instance.
BitmapLibrary& bitmapLibrary();

}  // namespace quaverly
