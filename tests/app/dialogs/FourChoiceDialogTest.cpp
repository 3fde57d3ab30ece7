// The four-choice dialog: each way of closing it and its result, the button texts
// of both variants in both languages, and texts that are never cut.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "app/dialogs/FourChoiceDialog.h"
#include "app/messages/UiStrings.h"
#include "tests/app/dialogs/GuiTestSupport.h"

using quaverly::FourChoiceDialog;
using quaverly::FourChoiceVariant;
using quaverly::Language;
using quaverly::MessageResult;
using quaverly::MessageStyle;
using quaverly::runFourChoiceDialog;

namespace {

QString buttonText(QWidget* dialog, const char* name) {
  return dialog->findChild<QPushButton*>(QString::fromLatin1(name))->text();
}

}  // namespace

class FourChoiceDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { quaverly::setLanguage(Language::English); }

  void eachButtonGivesItsResult_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<MessageResult>("result");
    QTest::newRow("yes") << "yesButton" << MessageResult::Yes;
    QTest::newRow("yes to all") << "yesToAllButton" << MessageResult::YesToAll;
    QTest::newRow("no") << "noButton" << MessageResult::No;
    QTest::newRow("cancel") << "cancelButton" << MessageResult::Cancel;
  }

  void eachButtonGivesItsResult() {
    QFETCH(QString, button);
    QFETCH(MessageResult, result);
    for (const MessageStyle style : {MessageStyle::OverwriteQuestion, MessageStyle::ConvertQuestion}) {
      const QByteArray name = button.toLatin1();
      quaverly::test::whenModal([name](QWidget* dialog) { quaverly::test::clickButton(dialog, name.constData()); });
      QCOMPARE(runFourChoiceDialog(style, QStringLiteral("question"), nullptr), result);
    }
  }

  void keysAndCloseBox() {
    quaverly::test::whenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QCOMPARE(runFourChoiceDialog(MessageStyle::OverwriteQuestion, QStringLiteral("q"), nullptr), MessageResult::Cancel);
    quaverly::test::whenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
    QCOMPARE(runFourChoiceDialog(MessageStyle::OverwriteQuestion, QStringLiteral("q"), nullptr), MessageResult::Yes);
    quaverly::test::whenModal([](QWidget* dialog) { dialog->close(); });
    QCOMPARE(runFourChoiceDialog(MessageStyle::ConvertQuestion, QStringLiteral("q"), nullptr), MessageResult::Cancel);
  }

  // The user tabs from Yes, where the focus is on opening, to a button and presses
  // Enter: the focused button answers, never Yes behind it.
  void enterChoosesTheFocusedButton_data() {
    QTest::addColumn<int>("tabs");
    QTest::addColumn<int>("key");
    QTest::addColumn<MessageResult>("result");
    QTest::newRow("yes") << 0 << int(Qt::Key_Return) << MessageResult::Yes;
    QTest::newRow("yes to all") << 1 << int(Qt::Key_Return) << MessageResult::YesToAll;
    QTest::newRow("no") << 2 << int(Qt::Key_Enter) << MessageResult::No;
    QTest::newRow("cancel") << 3 << int(Qt::Key_Return) << MessageResult::Cancel;
  }

  void enterChoosesTheFocusedButton() {
    QFETCH(int, tabs);
    QFETCH(int, key);
    QFETCH(MessageResult, result);
    QString firstFocus;
    quaverly::test::whenModal([&](QWidget* dialog) {
      firstFocus = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
      for (int i = 0; i < tabs; ++i) QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
      QTest::keyClick(dialog->focusWidget(), static_cast<Qt::Key>(key));
    });
    QCOMPARE(runFourChoiceDialog(MessageStyle::OverwriteQuestion, QStringLiteral("q"), nullptr), result);
    QCOMPARE(firstFocus, QStringLiteral("yesButton"));
  }

  void otherStylesAreAnsweredWithCancelUnasked() {
    QCOMPARE(runFourChoiceDialog(MessageStyle::Notice, QStringLiteral("q"), nullptr), MessageResult::Cancel);
    QCOMPARE(runFourChoiceDialog(MessageStyle::Question, QStringLiteral("q"), nullptr), MessageResult::Cancel);
  }

  void buttonTexts_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("texts");
    const QStringList english{"&Yes", "Yes to &All", "&No", "Cancel"};
    QTest::newRow("English overwrite") << 1 << 1 << english;
    QTest::newRow("English convert") << 1 << 2 << english;
    QTest::newRow("Japanese overwrite") << 0 << 1 << QStringList{"はい(&Y)", "すべて上書き(&A)", "いいえ(&N)", "ｷｬﾝｾﾙ"};
    QTest::newRow("Japanese convert") << 0 << 2 << QStringList{"はい(&Y)", "全て変換(&A)", "いいえ(&N)", "ｷｬﾝｾﾙ"};
  }

  void buttonTexts() {
    QFETCH(int, language);
    QFETCH(int, variant);
    QFETCH(QStringList, texts);
    quaverly::setLanguage(static_cast<Language>(language));
    FourChoiceDialog dialog(static_cast<FourChoiceVariant>(variant), QStringLiteral("question"));
    QCOMPARE(buttonText(&dialog, "yesButton"), texts.at(0));
    QCOMPARE(buttonText(&dialog, "yesToAllButton"), texts.at(1));
    QCOMPARE(buttonText(&dialog, "noButton"), texts.at(2));
    QCOMPARE(buttonText(&dialog, "cancelButton"), texts.at(3));
    QCOMPARE(dialog.windowTitle(), language == 0 ? QStringLiteral("ｸｪｲﾊﾞﾘｰ") : QStringLiteral("Quaverly"));
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("yesButton"))->isDefault());
  }

  // The catalogue's longest questions, with long names, fit without cutting.
  void textsAreNeverCut_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("message");
    QTest::newRow("English overwrite")
        << 1 << 1
        << QStringLiteral(
               "The folder already contains a file named \"SONGNAME.MID\".\nWould you like to replace the existing "
               "file with this one?");
    QTest::newRow("English convert") << 1 << 2 << QStringLiteral("Will you convert \"SONGNAME.MID\" into SMF format0?");
    QTest::newRow("Japanese overwrite") << 0 << 1
                                        << QStringLiteral(
                                               "\"SONGNAME.MID\"は既に存在します。既存のファイルを置き換えますか？");
    QTest::newRow("Japanese convert") << 0 << 2
                                      << QStringLiteral("「SONGNAME.MID」をSMFフォーマット０に変換しますか？");
    QTest::newRow("long name") << 1 << 1
                               << QStringLiteral(
                                      "The folder already contains a file named \"%1\".\nWould you like to replace it?")
                                      .arg(QString(60, QLatin1Char('W')));
  }

  void textsAreNeverCut() {
    QFETCH(int, language);
    QFETCH(int, variant);
    QFETCH(QString, message);
    quaverly::setLanguage(static_cast<Language>(language));
    FourChoiceDialog dialog(static_cast<FourChoiceVariant>(variant), message);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* text = dialog.findChild<QLabel*>(QStringLiteral("messageText"));
    QCOMPARE(text->text(), message);
    QVERIFY(text->geometry().bottom() < dialog.findChild<QPushButton*>(QStringLiteral("yesButton"))->y());
    QVERIFY(dialog.rect().contains(text->geometry()));
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) QVERIFY(dialog.rect().contains(button->geometry()));
    QString culprit;
    QVERIFY2(quaverly::test::textsFit(&dialog, &culprit), qPrintable(culprit));
    quaverly::test::saveShot(&dialog,
                             QStringLiteral("fourchoice-%1").arg(QString::fromLatin1(QTest::currentDataTag())));
  }
};

QTEST_MAIN(FourChoiceDialogTest)
#include "FourChoiceDialogTest.moc"
