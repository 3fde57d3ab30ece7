// The picture button's state machine driven with the mouse: hover, press, sliding
// out and back in, release inside and outside, double-click, and the pressed look
// kept while a command runs.
#include <QDialog>
#include <QSignalSpy>
#include <QtTest>

#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/PictureButton.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::PictureButton;

namespace {

constexpr int kNormal = 136;
constexpr int kPressed = 137;
constexpr int kHover = 184;
constexpr int kCommand = 32771;
const QPoint kInside{10, 10};
const QPoint kOutside{150, 10};

}  // namespace

class PictureButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    quaverly::bitmapLibrary().setSource(quaverly::test::picturesSource({
        {kNormal, quaverly::test::solidImage({93, 27}, Qt::gray)},
        {kPressed, quaverly::test::solidImage({93, 27}, Qt::darkGreen)},
        {kHover, quaverly::test::solidImage({93, 27}, Qt::yellow)},
    }));
  }

  void init() {
    parent_ = new QWidget;
    parent_->resize(300, 100);
    button_ = new PictureButton;
    button_->create(QRect(104, 32, 93, 27), parent_, kCommand);
    button_->setBitmaps(kNormal, kPressed, kHover);
    parent_->show();
    QVERIFY(QTest::qWaitForWindowExposed(parent_));
    spy_ = new QSignalSpy(button_, &PictureButton::commandPosted);
  }

  void cleanup() {
    delete spy_;
    delete parent_;
  }

  void createdWhereAndWithWhatItWasGiven() {
    QCOMPARE(button_->parentWidget(), parent_);
    QCOMPARE(button_->geometry(), QRect(104, 32, 93, 27));
    QCOMPARE(button_->commandId(), kCommand);
    QVERIFY(button_->isVisible());
    QCOMPARE(button_->state(), 0);
    QCOMPARE(centreColour(), QColor(Qt::gray));
  }

  void hoverShowsTheHoverPicture() {
    QTest::mouseMove(button_, kInside);
    QCOMPARE(button_->state(), PictureButton::kPointerInside);
    QCOMPARE(button_->currentBitmap(), kHover);
    QCOMPARE(centreColour(), QColor(Qt::yellow));
    QTest::mouseMove(parent_, QPoint(10, 90));
    QTRY_COMPARE(button_->state(), 0);
    QCOMPARE(centreColour(), QColor(Qt::gray));
  }

  // The command is posted: it arrives after the release has been handled, once, and
  // the button stays pressed until reset().
  void releaseInsidePostsTheCommandOnce() {
    QTest::mouseMove(button_, kInside);
    QTest::mousePress(button_, Qt::LeftButton, {}, kInside);
    QCOMPARE(button_->state(), 3);
    QCOMPARE(centreColour(), QColor(Qt::darkGreen));
    QTest::mouseRelease(button_, Qt::LeftButton, {}, kInside);
    QCOMPARE(spy_->count(), 0);
    QTRY_COMPARE(spy_->count(), 1);
    QCOMPARE(spy_->at(0).at(0).toInt(), kCommand);
    QCOMPARE(button_->state(), 3);
    QCOMPARE(button_->currentBitmap(), kPressed);
    QTest::qWait(20);
    QCOMPARE(spy_->count(), 1);
    button_->reset();
    QCOMPARE(button_->state(), 0);
    QCOMPARE(centreColour(), QColor(Qt::gray));
  }

  void releaseOutsideSendsNothing() {
    QTest::mouseMove(button_, kInside);
    QTest::mousePress(button_, Qt::LeftButton, {}, kInside);
    QTest::mouseMove(button_, kOutside);
    QCOMPARE(button_->state(), PictureButton::kButtonHeld);
    QCOMPARE(button_->currentBitmap(), kNormal);
    QTest::mouseRelease(button_, Qt::LeftButton, {}, kOutside);
    QCOMPARE(button_->state(), 0);
    QTest::qWait(20);
    QCOMPARE(spy_->count(), 0);
    QCOMPARE(centreColour(), QColor(Qt::gray));
  }

  void slidingBackInPressesAgainAndReleaseSends() {
    QTest::mouseMove(button_, kInside);
    QTest::mousePress(button_, Qt::LeftButton, {}, kInside);
    QTest::mouseMove(button_, kOutside);
    QCOMPARE(button_->state(), 2);
    QTest::mouseMove(button_, QPoint(20, 5));
    QCOMPARE(button_->state(), 3);
    QCOMPARE(centreColour(), QColor(Qt::darkGreen));
    QTest::mouseRelease(button_, Qt::LeftButton, {}, QPoint(20, 5));
    QTRY_COMPARE(spy_->count(), 1);
  }

  void otherButtonsDoNothing() {
    QTest::mouseMove(button_, kInside);
    QTest::mouseClick(button_, Qt::RightButton, {}, kInside);
    QCOMPARE(button_->state(), 1);
    QTest::qWait(20);
    QCOMPARE(spy_->count(), 0);
  }

  // The second click of a double-click neither presses nor sends the command again,
  // also after the command has ended.
  void doubleClickSendsOnce() {
    QTest::mouseMove(button_, kInside);
    QTest::mouseClick(button_, Qt::LeftButton, {}, kInside);
    QTRY_COMPARE(spy_->count(), 1);
    button_->reset();
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(kInside), button_->mapToGlobal(QPointF(kInside)),
                            Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(button_, &doubleClick);
    QCOMPARE(button_->state(), 0);
    QTest::mouseRelease(button_, Qt::LeftButton, {}, kInside);
    QTest::qWait(20);
    QCOMPARE(spy_->count(), 1);
  }

  // While the command runs (until reset) the pointer does not change the picture.
  void pressedLookLastsUntilReset() {
    QTest::mouseMove(button_, kInside);
    QTest::mouseClick(button_, Qt::LeftButton, {}, kInside);
    QTest::mouseMove(button_, kOutside);
    QTest::mouseMove(parent_, QPoint(10, 90));
    QCOMPARE(button_->state(), 3);
    QCOMPARE(centreColour(), QColor(Qt::darkGreen));
    button_->reset();
    QTest::mouseMove(button_, kInside);
    QCOMPARE(button_->state(), 1);
  }

  // showPressed keeps the pressed picture while another window is modal over the
  // button, even when the pointer leaves it; the button does not light up under a
  // modal window.
  void pressedLookLastsWhileACommandRuns() {
    QTest::mouseMove(button_, kInside);
    button_->showPressed();
    QCOMPARE(button_->state(), 3);
    QDialog dialog;
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_COMPARE(QApplication::activeModalWidget(), &dialog);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button_, &leave);
    QCOMPARE(button_->state(), 3);
    button_->reset();
    QEnterEvent enter{QPointF(kInside), QPointF(kInside), button_->mapToGlobal(QPointF(kInside))};
    QApplication::sendEvent(button_, &enter);
    QCOMPARE(button_->state(), 0);
    dialog.close();
  }

 private:
  QColor centreColour() const { return button_->grab().toImage().pixelColor(46, 13); }

  QWidget* parent_ = nullptr;
  PictureButton* button_ = nullptr;
  QSignalSpy* spy_ = nullptr;
};

QTEST_MAIN(PictureButtonTest)
#include "PictureButtonTest.moc"
