// The hover button, the refresh bar and the About box.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QtTest>

#include "app/dialogs/AboutBox.h"
#include "app/dialogs/BitmapLibrary.h"
#include "app/dialogs/HoverButton.h"
#include "app/dialogs/ProgramIcons.h"
#include "app/dialogs/RefreshBar.h"
#include "app/messages/UiStrings.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::Language;

class SmallWidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { quaverly::setLanguage(Language::English); }

  void hoverButtonReportsEnteringAndLeaving() {
    QWidget window;
    window.resize(200, 100);
    auto* button = new quaverly::HoverButton(QStringLiteral("&Receive"), &window);
    button->setGeometry(10, 10, 80, 24);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy spy(button, &quaverly::HoverButton::hotChanged);

    QTest::mouseMove(button, QPoint(5, 5));
    QVERIFY(button->isHot());
    QTest::mouseMove(button, QPoint(6, 6));  // moving on it says nothing new
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);

    button->dropHighlight();
    QVERIFY(!button->isHot());
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
    button->dropHighlight();
    QCOMPARE(spy.count(), 2);

    QTest::mouseMove(button, QPoint(5, 5));
    QTest::mouseMove(&window, QPoint(150, 80));
    QTRY_VERIFY(!button->isHot());
    QCOMPARE(spy.count(), 4);
  }

  void refreshBarButton_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("tooltip");
    QTest::newRow("Japanese") << 0 << QStringLiteral("最新の情報に更新");
    QTest::newRow("English") << 1 << QStringLiteral("Refresh");
  }

  // One button showing the third image of bitmap 147, with the tooltip of the
  // language; pressing it asks the owner to refresh.
  void refreshBarButton() {
    QFETCH(int, language);
    QFETCH(QString, tooltip);
    quaverly::setLanguage(static_cast<Language>(language));
    QImage strip(64, 17, QImage::Format_RGB32);
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
    for (int i = 0; i < 4; ++i) {
      for (int x = 0; x < 16; ++x) {
        for (int y = 0; y < 17; ++y) strip.setPixelColor(i * 16 + x, y, colours[i]);
      }
    }
    strip.setPixelColor(32, 0, QColor(192, 192, 192));
    quaverly::bitmapLibrary().setSource(
        quaverly::test::picturesSource({{quaverly::kToolbarStripBitmap, strip}}));

    QWidget owner;
    auto* bar = new quaverly::RefreshBar(&owner);
    QSignalSpy spy(bar, &quaverly::RefreshBar::refreshRequested);
    const QList<QAction*> actions = bar->toolbar()->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.front()->toolTip(), tooltip);
    QCOMPARE(actions.front()->data().toInt(), quaverly::RefreshBar::kRefreshCommand);
    const QImage icon = actions.front()->icon().pixmap(16, 17).toImage();
    QCOMPARE(icon.pixelColor(8, 8), QColor(Qt::blue));
    QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);  // the key grey is transparent
    actions.front()->trigger();
    QCOMPARE(spy.count(), 1);
    quaverly::bitmapLibrary().setSource(quaverly::resourceBitmap);
  }

  void aboutBox_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::newRow("Japanese") << 0 << QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報（ｸｪｲﾊﾞﾘｰ）") << QStringLiteral("about215");
    QTest::newRow("English") << 1 << QStringLiteral("About(Quaverly)") << QStringLiteral("about216");
  }

  void aboutBox() {
    QFETCH(int, language);
    QFETCH(QString, caption);
    QFETCH(QString, name);
    quaverly::setLanguage(static_cast<Language>(language));
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    bool answered = false;
    quaverly::test::whenModal([&](QWidget* box) {
      QCOMPARE(box->objectName(), name);
      QCOMPARE(box->windowTitle(), caption);
      QVERIFY(box->findChild<QLabel*>(QStringLiteral("nameText"))->text().contains(QStringLiteral("Version")));
      QString culprit;
      QVERIFY2(quaverly::test::textsFit(box, &culprit), qPrintable(culprit));
      const QRect icon = box->findChild<QLabel*>(QStringLiteral("icon"))->geometry();
      QVERIFY(!icon.isEmpty());
      for (QWidget* other : box->findChildren<QWidget*>()) {
        if (other->objectName() != QStringLiteral("icon")) QVERIFY(!icon.intersects(other->geometry()));
        QVERIFY(box->rect().contains(other->geometry()));
      }
      quaverly::test::saveShot(box, QStringLiteral("about-%1").arg(QString::fromLatin1(QTest::currentDataTag())));
      answered = true;
      quaverly::test::clickButton(box, "okButton");
    });
    quaverly::runAboutBox(&owner);
    QVERIFY(answered);
  }
};

QTEST_MAIN(SmallWidgetsTest)
#include "SmallWidgetsTest.moc"
