// The file icon list: the fixed standard slots with their fallbacks, the extension
// key rule, the cache that learns each extension once, and the special indices of
// programs and shortcuts; once with sources of the test's own, once with the
// system's MIME database.
#include <QtTest>

#include <map>

#include "app/dialogs/CFileIconList.h"

using quaverly::CFileIconList;

namespace {

QIcon colourIcon(int shade) {
  QPixmap pixmap(16, 16);
  pixmap.fill(QColor(shade, 0, 0));
  return QIcon(pixmap);
}

// A theme that has only `themeNames`, own icons 1000 + id, and the registered
// extensions in `types`; every lookup is counted.
struct FakeSystem {
  std::vector<QString> themeNames;
  std::map<QString, std::pair<QString, QString>> types;
  std::vector<QString> themeAsked{};
  std::vector<int> ownAsked{};
  int typeLookups = 0;

  CFileIconList::Sources sources() {
    return {[this](const QString& name) {
              themeAsked.push_back(name);
              return std::find(themeNames.begin(), themeNames.end(), name) != themeNames.end() ? colourIcon(200)
                                                                                               : QIcon();
            },
            [this](int id) {
              ownAsked.push_back(id);
              return colourIcon(id % 256);
            },
            [this](const QString& extension) -> std::optional<std::pair<QString, QString>> {
              ++typeLookups;
              const auto it = types.find(extension.toLower());
              if (it == types.end()) return std::nullopt;
              return it->second;
            }};
  }
};

}  // namespace

class FileIconListTest : public QObject {
  Q_OBJECT

 private slots:
  void standardSlotsFallBackToTheProgramsOwnIcons() {
    FakeSystem system{{"folder", "computer"}, {}};
    CFileIconList list(system.sources());
    list.loadStandardIcons();
    list.loadStandardIcons();  // a second start-up changes nothing
    QCOMPARE(list.imageList().size(), std::size_t(14));
    // Slots 0 and 7 have no theme icon; the theme here lacks all but two others.
    QCOMPARE(system.ownAsked, (std::vector<int>{171, 157, 159, 160, 161, 162, 163, 165, 166, 167, 166, 174}));
  }

  void extensionKeys_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sameKeyAs");
    QTest::newRow("case") << "a.MID"
                          << "b.mid";
    QTest::newRow("four bytes count") << "page.html"
                                      << "page.htm";
    QTest::newRow("last full stop") << "x.tar.mid"
                                    << "y.mid";
    QTest::newRow("padding") << "main.c"
                             << "other.C";
  }

  void extensionKeys() {
    QFETCH(QString, name);
    QFETCH(QString, sameKeyAs);
    QCOMPARE(CFileIconList::extensionKey(name.toStdString()), CFileIconList::extensionKey(sameKeyAs.toStdString()));
    // Upper-case P pads, so no lower-cased extension can equal a padded one.
    QVERIFY(CFileIconList::extensionKey("a.c") != CFileIconList::extensionKey("a.cpp"));
    QVERIFY(!CFileIconList::extensionKey("SONG"));
  }

  void eachExtensionIsLearnedOnce() {
    FakeSystem system{{"audio-midi"}, {{".mid", {"audio-midi", "audio-x-generic"}}, {".txt", {"x", "y"}}}};
    CFileIconList list(system.sources());
    list.loadStandardIcons();
    QCOMPARE(list.iconIndexOf("SONG"), CFileIconList::kUnknownFile);
    QCOMPARE(list.iconIndexOf("a.MID"), 14);
    QCOMPARE(list.iconIndexOf("b.mid"), 14);
    QCOMPARE(list.iconIndexOf("NOTES.TXT"), CFileIconList::kUnknownFile);  // registered, but no icon anywhere
    QCOMPARE(list.iconIndexOf("a.zzq"), CFileIconList::kUnknownFile);      // not registered
    QCOMPARE(list.iconIndexOf("b.zzq"), CFileIconList::kUnknownFile);
    QCOMPARE(system.typeLookups, 3);
    QCOMPARE(list.imageList().size(), std::size_t(15));
  }

  void programsAndShortcutsHaveTheirSlotsWhenRegistered() {
    FakeSystem system{{"exe-icon", "lnk-icon"}, {{".exe", {"exe-icon", ""}}, {".lnk", {"lnk-icon", ""}}}};
    CFileIconList list(system.sources());
    list.loadStandardIcons();
    QCOMPARE(list.iconIndexOf("SETUP.EXE"), CFileIconList::kProgram);
    QCOMPARE(list.iconIndexOf("Song.lnk"), CFileIconList::kShortcut);
    QCOMPARE(list.imageList().size(), std::size_t(14));

    FakeSystem bare;
    CFileIconList unregistered(bare.sources());
    unregistered.loadStandardIcons();
    QCOMPARE(unregistered.iconIndexOf("SETUP.EXE"), CFileIconList::kUnknownFile);
  }

  // The real MIME database knows programs, and not a made-up extension; a song gets
  // the installed theme's picture for its type even with no desktop around (the
  // offscreen platform names no theme and searches no icon folder of its own).
  void theSystemsFileTypes() {
    CFileIconList list;
    list.loadStandardIcons();
    QCOMPARE(list.iconIndexOf("SETUP.EXE"), CFileIconList::kProgram);
    QCOMPARE(list.iconIndexOf("data.qzxw"), CFileIconList::kUnknownFile);
    QVERIFY(list.iconIndexOf("SONG.MID") >= CFileIconList::kStandardCount);
    for (const QIcon& icon : list.imageList()) QVERIFY(!icon.isNull());
  }
};

QTEST_MAIN(FileIconListTest)
#include "FileIconListTest.moc"
