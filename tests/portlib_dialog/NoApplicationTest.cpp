// The port selection dialog needs a QApplication; a caller without one gets "not OK"
// and its ids back untouched, and nothing is shown.
#include <QCoreApplication>
#include <QtTest>

#include "portlib/PortSelectDialog.h"

class NoApplicationTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutAnyApplicationNothingIsShown() {
    QVERIFY(!QCoreApplication::instance());
    unsigned in = 3;
    unsigned out = 4;
    QVERIFY(!tonelink::runPortSelectDialog("Ports", "In", "Out", false, in, out));
    QCOMPARE(in, 3u);
    QCOMPARE(out, 4u);
  }

  void aCoreApplicationCannotShowWidgetsEither() {
    int argc = 1;
    char name[] = "no_application_test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    unsigned in = 3;
    unsigned out = 4;
    QVERIFY(!tonelink::runPortSelectDialog(nullptr, nullptr, nullptr, true, in, out));
    QCOMPARE(in, 3u);
    QCOMPARE(out, 4u);
  }
};

QTEST_APPLESS_MAIN(NoApplicationTest)
#include "NoApplicationTest.moc"
