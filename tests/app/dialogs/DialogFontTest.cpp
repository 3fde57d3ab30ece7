// The dialog font of each language and dialog units derived from a font.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QtTest>

#include "app/dialogs/DialogFont.h"
#include "app/dialogs/DialogUnits.h"
#include "app/messages/UiStrings.h"

using quaverly::DialogUnits;
using quaverly::Language;

class DialogFontTest : public QObject {
  Q_OBJECT

 private slots:
  // 9 points in a face the system has; Japanese needs one that shows kana.
  void dialogFontOfEachLanguage() {
    for (const Language language : {Language::Japanese, Language::English}) {
      quaverly::setLanguage(language);
      quaverly::createDialogFont();
      const QFont& font = quaverly::dialogFont();
      QCOMPARE(font.pointSize(), 9);
      QVERIFY(QFontDatabase::hasFamily(QFontInfo(font).family()));
      if (language == Language::Japanese) QVERIFY(QFontMetrics(font).inFont(QChar(0x30AF)));  // ク
    }
  }

  // Four horizontal units are one average character, eight vertical units one
  // character height; halves round away from zero.
  void unitsFollowTheFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    for (const int points : {8, 9, 14}) {
      font.setPointSize(points);
      const DialogUnits units(font);
      const QFontMetrics metrics(font);
      const int letters =
          metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
      const int average = (letters / 26 + 1) / 2;
      QCOMPARE(units.x(4), average);
      QCOMPARE(units.y(8), metrics.height());
      QCOMPARE(units.x(400), 100 * average);
      QCOMPARE(units.x(2), (2 * average + 2) / 4);
      QCOMPARE(units.x(-2), -units.x(2));
      QCOMPARE(units.rect(4, 8, 8, 16), QRect(average, metrics.height(), 2 * average, 2 * metrics.height()));
      QCOMPARE(units.size(4, 8), QSize(average, metrics.height()));
    }
  }
};

QTEST_MAIN(DialogFontTest)
#include "DialogFontTest.moc"
