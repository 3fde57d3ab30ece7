// The bitmap library over pictures held in memory: look-up once per id, drawing 1:1,
// with raster operations and at double size, and the palette of bitmap 130.
#include <QDir>
#include <QPainter>
#include <QRegularExpression>
#include <QtTest>

#include <map>

#include "app/dialogs/BitmapLibrary.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::BitmapLibrary;
using quaverly::RasterOp;
using quaverly::test::solidImage;

class BitmapLibraryTest : public QObject {
  Q_OBJECT

 private slots:
  void locatesEachIdOnce() {
    QMap<int, int> located;
    BitmapLibrary library([&located](int id, int scale) {
      if (scale == 1) ++located[id];
      return id == 7 ? solidImage({4, 3}, Qt::red) : QImage();
    });
    QImage canvas = solidImage({10, 10}, Qt::white);
    QPainter painter(&canvas);
    for (int i = 0; i < 50; ++i) {
      library.drawAt(painter, {0, 0}, 7);
      library.drawAt(painter, {0, 0}, 8);  // a missing picture is looked for once too
    }
    QCOMPARE(library.bitmapSize(7), QSize(4, 3));
    QCOMPARE(library.bitmapSize(8), QSize());
    QCOMPARE(located.value(7), 1);
    QCOMPARE(located.value(8), 1);

    library.releaseCache();
    library.bitmapSize(7);
    QCOMPARE(located.value(7), 2);
  }

  void drawsAtItsOwnSizeAtThePoint() {
    BitmapLibrary library(quaverly::test::picturesSource({{5, solidImage({3, 2}, Qt::blue)}}));
    QImage canvas = solidImage({8, 8}, Qt::white);
    {
      QPainter painter(&canvas);
      library.drawAt(painter, {2, 4}, 5);
    }
    QCOMPARE(canvas.pixelColor(2, 4), QColor(Qt::blue));
    QCOMPARE(canvas.pixelColor(4, 5), QColor(Qt::blue));
    QCOMPARE(canvas.pixelColor(5, 5), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(2, 6), QColor(Qt::white));
    QCOMPARE(canvas.pixelColor(1, 4), QColor(Qt::white));
  }

  // A transparent picture: the mask (black shape on white) with AND, then the
  // picture (coloured shape on black) with OR, over a grey background.
  void masksWithAndThenPaintsWithOr() {
    QImage mask(2, 1, QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.setPixel(0, 0, 0);
    mask.setPixel(1, 0, 1);
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(200, 30, 40));
    picture.setPixel(1, 0, qRgb(0, 0, 0));
    BitmapLibrary library(quaverly::test::picturesSource({{204, mask}, {203, picture}}));

    QImage canvas = solidImage({2, 1}, QColor(192, 192, 192));
    {
      QPainter painter(&canvas);
      library.drawWithRop(painter, {0, 0}, 204, RasterOp::SourceAnd);
      library.drawWithRop(painter, {0, 0}, 203, RasterOp::SourcePaint);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(200, 30, 40));
    QCOMPARE(canvas.pixelColor(1, 0), QColor(192, 192, 192));
  }

  // On a device with two pixels per unit the double-size picture is drawn in the
  // place of the original; one of the wrong size is ignored.
  void usesTheDoubleSizePictureOnHighDensityDevices() {
    const auto source = [](int id, int scale) -> QImage {
      if (scale == 1) return solidImage({2, 2}, Qt::red);
      return solidImage(id == 1 ? QSize(4, 4) : QSize(3, 3), Qt::green);
    };
    BitmapLibrary library(source);
    QImage canvas = solidImage({8, 8}, Qt::white);
    canvas.setDevicePixelRatio(2.0);
    {
      QPainter painter(&canvas);
      library.drawAt(painter, {0, 0}, 1);
      library.drawAt(painter, {2, 0}, 2);
    }
    QCOMPARE(canvas.pixelColor(0, 0), QColor(Qt::green));
    QCOMPARE(canvas.pixelColor(3, 3), QColor(Qt::green));
    QCOMPARE(canvas.pixelColor(4, 0), QColor(Qt::red));  // unit (2, 0), drawn from the original
    QCOMPARE(canvas.pixelColor(7, 3), QColor(Qt::red));
    QCOMPARE(canvas.pixelColor(0, 4), QColor(Qt::white));
  }

  void paletteComesFromBitmap130() {
    QImage main(2, 2, QImage::Format_Indexed8);
    main.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(250, 0, 0)});
    main.fill(2);
    BitmapLibrary library(quaverly::test::picturesSource({{130, main}}));
    QVERIFY(library.palette().isEmpty());
    QVERIFY(library.createPalette());
    QCOMPARE(library.palette().size(), 256);
    QCOMPARE(library.palette().at(0), qRgb(1, 2, 3));
    QCOMPARE(library.palette().at(2), qRgb(250, 0, 0));
    QCOMPARE(library.palette().at(255), qRgb(0, 0, 0));
    library.deletePalette();
    QVERIFY(library.palette().isEmpty());

    BitmapLibrary withoutPicture(quaverly::test::picturesSource({}));
    QVERIFY(withoutPicture.createPalette());
    QVERIFY(withoutPicture.palette().isEmpty());
  }

  // Every picture built into the program loads; a double-size version is exactly
  // twice as large; pictures whose size the windows depend on have it.
  void builtInPicturesLoadWithTheirSizes() {
    const std::map<int, QSize> expected{
        {130, {336, 339}}, {131, {292, 158}}, {192, {270, 60}}, {194, {270, 60}}, {195, {1, 3}}, {147, {64, 17}},
    };
    const QRegularExpression pictureName(QStringLiteral("^(\\d+)\\.bmp$"));
    const QStringList names = QDir(QStringLiteral(":/bitmaps")).entryList(QDir::Files);
    for (const QString& name : names) {
      const QRegularExpressionMatch match = pictureName.match(name);
      if (!match.hasMatch()) continue;
      const int id = match.captured(1).toInt();
      const QImage picture = quaverly::resourceBitmap(id, 1);
      QVERIFY2(!picture.isNull(), qPrintable(name));
      if (const auto size = expected.find(id); size != expected.end()) QCOMPARE(picture.size(), size->second);
      const QImage doubleSize = quaverly::resourceBitmap(id, 2);
      if (!doubleSize.isNull()) QCOMPARE(doubleSize.size(), picture.size() * 2);
    }
    if (names.isEmpty()) QSKIP("the program has no pictures built in");
  }
};

QTEST_MAIN(BitmapLibraryTest)
#include "BitmapLibraryTest.moc"
