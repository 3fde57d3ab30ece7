// The wait window and the connection check's user interface over it.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "app/shell/CWaitDlg.h"
#include "app/shell/GuiConnectionUi.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::CWaitDlg;
using quaverly::Language;

namespace {

QLabel* textOf(CWaitDlg& wait) { return wait.window()->findChild<QLabel*>(QStringLiteral("waitText")); }

}  // namespace

class WaitDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { quaverly::setLanguage(Language::English); }

  void cleanup() { quaverly::setLanguage(Language::English); }

  void lifecycleDisablesAndEnablesTheOwner() {
    QWidget owner;
    auto* button = new QPushButton(QStringLiteral("x"), &owner);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    CWaitDlg wait;
    QVERIFY(!wait.window());
    QVERIFY(wait.create(button));
    QVERIFY(wait.window()->isVisible());
    QVERIFY(wait.window()->isEnabled());
    QVERIFY(!owner.isEnabled());
    QCOMPARE(wait.window()->windowTitle(), QStringLiteral("Quaverly"));
    wait.destroy();
    QVERIFY(!wait.window());
    QVERIFY(owner.isEnabled());

    {
      CWaitDlg destroyedWithTheObject;
      destroyedWithTheObject.create(&owner);
      QVERIFY(!owner.isEnabled());
    }
    QVERIFY(owner.isEnabled());
  }

  void escapeDoesNotCloseIt() {
    CWaitDlg wait;
    wait.create(nullptr);
    QTest::keyClick(wait.window(), Qt::Key_Escape);
    QVERIFY(wait.window()->isVisible());
  }

  void showsItsTextInOneCentredLine_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("Japanese") << 0;
    QTest::newRow("English") << 1;
  }

  void showsItsTextInOneCentredLine() {
    QFETCH(int, language);
    quaverly::setLanguage(static_cast<Language>(language));
    CWaitDlg wait;
    wait.create(nullptr);
    const std::string_view text = quaverly::messageText(quaverly::MessageId{2});
    wait.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    QCOMPARE(textOf(wait)->text().toStdString(), std::string(text));
    QVERIFY(textOf(wait)->alignment() & Qt::AlignHCenter);
    QString culprit;
    QVERIFY2(quaverly::test::textsFit(wait.window(), &culprit), qPrintable(culprit));
    quaverly::test::saveShot(wait.window(),
                             QStringLiteral("wait-%1").arg(QString::fromLatin1(QTest::currentDataTag())));
  }

  void aLongTextWidensTheWindow() {
    CWaitDlg wait;
    wait.create(nullptr);
    const QSize before = wait.window()->size();
    wait.setText(QString(120, QLatin1Char('M')));
    QVERIFY(wait.window()->width() > before.width());
    QVERIFY(wait.window()->rect().contains(textOf(wait)->geometry()));
    QString culprit;
    QVERIFY2(quaverly::test::textsFit(wait.window(), &culprit), qPrintable(culprit));
  }

  void connectionUiShowsPumpsAndCloses() {
    QWidget owner;
    owner.show();
    quaverly::GuiConnectionUi ui(&owner);
    ui.showWait("Confirming connections...");
    QVERIFY(!owner.isEnabled());
    QDialog* window = nullptr;
    for (QWidget* topLevel : QApplication::topLevelWidgets()) {
      if (auto* label = topLevel->findChild<QLabel*>(QStringLiteral("waitText")); label && topLevel->isVisible()) {
        QCOMPARE(label->text(), QStringLiteral("Confirming connections..."));
        window = qobject_cast<QDialog*>(topLevel);
      }
    }
    QVERIFY(window);
    bool handled = false;
    QTimer::singleShot(0, [&handled] { handled = true; });
    ui.pump();
    QVERIFY(handled);
    ui.closeWait();
    QVERIFY(owner.isEnabled());
  }
};

QTEST_MAIN(WaitDlgTest)
#include "WaitDlgTest.moc"
