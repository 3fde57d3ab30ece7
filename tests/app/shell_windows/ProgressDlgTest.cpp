// The progress window: its layout, the picture of each kind, the bar's geometry,
// Cancel and pollCancel, the owner disabled while it exists, the Cancel text of each
// language.
#include <QDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/dialogs/BitmapLibrary.h"
#include "app/messages/UiStrings.h"
#include "app/shell/CProgressDlg.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::CProgressDlg;
using quaverly::Language;
using quaverly::TransferKind;

namespace {

const QColor kReceiveColour(20, 40, 200);
const QColor kTransmitColour(20, 160, 40);
const QColor kBarColour(230, 20, 20);

// Pixels of the painted window: client coordinates.
QImage painted(CProgressDlg& progress) { return progress.window()->grab().toImage(); }

// The bar's extent along its middle row: first and last red pixel, or (-1, -1).
QPair<int, int> barSpan(const QImage& image, int row) {
  int first = -1;
  int last = -1;
  for (int x = 0; x < image.width(); ++x) {
    if (image.pixelColor(x, row) == kBarColour) {
      if (first < 0) first = x;
      last = x;
    }
  }
  return {first, last};
}

}  // namespace

class ProgressDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    quaverly::setLanguage(Language::English);
    quaverly::bitmapLibrary().setSource(quaverly::test::picturesSource({
        {CProgressDlg::kReceivePicture, quaverly::test::solidImage({270, 60}, kReceiveColour)},
        {CProgressDlg::kTransmitPicture, quaverly::test::solidImage({270, 60}, kTransmitColour)},
        {CProgressDlg::kBarPicture, quaverly::test::solidImage({1, 3}, kBarColour)},
    }));
  }

  void cleanup() { quaverly::setLanguage(Language::English); }

  void layout() {
    CProgressDlg progress(TransferKind::Receive, nullptr);
    QDialog* window = progress.window();
    QVERIFY(window->isVisible());
    QCOMPARE(window->size(), QSize(292, 113));
    QCOMPARE(window->windowTitle(), QStringLiteral("Quaverly"));
    auto* cancel = window->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    QCOMPARE(cancel->geometry(), QRect(103, 81, 88, 21));
    QString culprit;
    QVERIFY2(quaverly::test::textsFit(window, &culprit), qPrintable(culprit));
  }

  void pictureOfEachKind() {
    {
      CProgressDlg receive(TransferKind::Receive, nullptr);
      const QImage image = painted(receive);
      QCOMPARE(image.pixelColor(12, 11), kReceiveColour);
      QCOMPARE(image.pixelColor(281, 70), kReceiveColour);
      QVERIFY(image.pixelColor(11, 11) != kReceiveColour);
      QVERIFY(image.pixelColor(282, 70) != kReceiveColour);
      QVERIFY(image.pixelColor(12, 71) != kReceiveColour);
    }
    CProgressDlg transmit(TransferKind::Transmit, nullptr);
    QCOMPARE(painted(transmit).pixelColor(100, 30), kTransmitColour);
  }

  // At 100 the bar is 242 x 3 pixels, 13 right of and 40 below the picture frame's
  // corner (12, 11); at 0 nothing is drawn; in between it is proportional.
  void barGeometry_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("length");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("1") << 1 << 2;  // 242 / 100, rounded down
    QTest::newRow("50") << 50 << 121;
    QTest::newRow("99") << 99 << 239;
    QTest::newRow("100") << 100 << 242;
    QTest::newRow("past the range") << 130 << 242;
    QTest::newRow("below the range") << -5 << 0;
  }

  void barGeometry() {
    QFETCH(int, position);
    QFETCH(int, length);
    CProgressDlg progress(TransferKind::Transmit, nullptr);
    progress.setRange(0, 100);
    progress.setPos(position);
    const QImage image = painted(progress);
    for (int row = 51; row <= 53; ++row) {
      const QPair<int, int> span = barSpan(image, row);
      if (length == 0) {
        QCOMPARE(span.first, -1);
      } else {
        QCOMPARE(span.first, 25);
        QCOMPARE(span.second, 25 + length - 1);
      }
    }
    QCOMPARE(barSpan(image, 50).first, -1);
    QCOMPARE(barSpan(image, 54).first, -1);
    if (length == 242) quaverly::test::saveShot(progress.window(), QStringLiteral("progress-full"));
  }

  void positionIsTakenWithinTheRange() {
    CProgressDlg progress(TransferKind::Receive, nullptr);
    progress.setRange(200, 400);
    progress.setPos(300);
    QCOMPARE(progress.percent(), 50);
    progress.setRange(5, 5);  // an empty range counts as done
    progress.setPos(5);
    QCOMPARE(progress.percent(), 100);
  }

  void twoPressesGiveOneCancel() {
    CProgressDlg progress(TransferKind::Receive, nullptr);
    QVERIFY(!progress.pollCancel());
    auto* cancel = progress.window()->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    QTest::mouseClick(cancel, Qt::LeftButton);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(progress.pollCancel());
    QVERIFY(!progress.pollCancel());
    QVERIFY(progress.window()->isVisible());  // the job decides what cancelling means
  }

  void escapeAndCloseBoxAlsoCancel() {
    CProgressDlg progress(TransferKind::Receive, nullptr);
    QTest::keyClick(progress.window(), Qt::Key_Escape);
    QVERIFY(progress.pollCancel());
    progress.window()->close();
    QVERIFY(progress.window()->isVisible());
    QVERIFY(progress.pollCancel());
  }

  // setPos and pollCancel handle the events waiting for the user-interface thread.
  void setPosAndPollCancelPumpEvents() {
    CProgressDlg progress(TransferKind::Receive, nullptr);
    bool handled = false;
    QTimer::singleShot(0, [&handled] { handled = true; });
    progress.setPos(10);
    QVERIFY(handled);
    handled = false;
    QTimer::singleShot(0, [&handled] { handled = true; });
    progress.pollCancel();
    QVERIFY(handled);
  }

  void ownerIsDisabledWhileTheWindowExists() {
    QWidget owner;
    auto* child = new QPushButton(QStringLiteral("x"), &owner);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    {
      CProgressDlg progress(TransferKind::Transmit, child);
      QVERIFY(!owner.isEnabled());
      QVERIFY(progress.window()->isEnabled());
      QVERIFY(progress.window()->findChild<QPushButton*>(QStringLiteral("cancelButton"))->isEnabled());
    }
    QVERIFY(owner.isEnabled());

    // An owner that was disabled already stays so.
    owner.setEnabled(false);
    { CProgressDlg progress(TransferKind::Transmit, &owner); }
    QVERIFY(!owner.isEnabled());
    owner.setEnabled(true);

    // An owner that goes first is no trouble.
    auto* shortLived = new QWidget;
    auto progress = std::make_unique<CProgressDlg>(TransferKind::Receive, shortLived);
    delete shortLived;
    progress.reset();
  }

  void cancelTextOfEachLanguage() {
    quaverly::setLanguage(Language::Japanese);
    {
      CProgressDlg progress(TransferKind::Receive, nullptr);
      QCOMPARE(progress.window()->findChild<QPushButton*>(QStringLiteral("cancelButton"))->text(),
               QStringLiteral("ｷｬﾝｾﾙ"));
      QCOMPARE(progress.window()->windowTitle(), QStringLiteral("ｸｪｲﾊﾞﾘｰ"));
      progress.setPos(60);
      quaverly::test::saveShot(progress.window(), QStringLiteral("progress-japanese"));
    }
    quaverly::setLanguage(Language::English);
    CProgressDlg progress(TransferKind::Receive, nullptr);
    QCOMPARE(progress.window()->findChild<QPushButton*>(QStringLiteral("cancelButton"))->text(),
             QStringLiteral("Cancel"));
  }

  void factoryMakesProgressWindows() {
    QWidget owner;
    owner.show();
    const quaverly::ProgressDisplayFactory factory = quaverly::guiProgressFactory(&owner);
    std::unique_ptr<quaverly::ProgressDisplay> display = factory(TransferKind::Transmit);
    QVERIFY(dynamic_cast<CProgressDlg*>(display.get()));
    QVERIFY(!owner.isEnabled());
    display.reset();
    QVERIFY(owner.isEnabled());
  }
};

QTEST_MAIN(ProgressDlgTest)
#include "ProgressDlgTest.moc"
