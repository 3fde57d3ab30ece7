// The start and end of the program: language choice, refusal without the port
// library and as a second instance, the settings read and written, MIDI Port Setup.
#include <QLockFile>
#include <QMainWindow>
#include <QProcess>
#include <QSysInfo>
#include <QtTest>

#include <chrono>
#include <filesystem>
#include <map>

#include "app/messages/UiStrings.h"
#include "app/shell/CMainFrame.h"
#include "app/shell/CTessitorApp.h"
#include "app/shell/LanguageChoice.h"
#include "app/shell/SingleInstanceLock.h"
#include "tests/app/shell_app/TestSupport.h"

Q_DECLARE_METATYPE(quaverly::Language)

namespace quaverly::test {

namespace {

const QString kFake = QStringLiteral(FAKE_COMPLETE_LIBRARY);
const QString kFakeIncomplete = QStringLiteral(FAKE_INCOMPLETE_LIBRARY);

EnvironmentLookup environmentWith(std::map<std::string, std::string> values) {
  return [values](const char* name) -> std::optional<std::string> {
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
}

QString titleOf(Language language) { return language == Language::English ? "Quaverly" : "ｸｪｲﾊﾞﾘｰ"; }

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { clearUserSettings(); }

  void systemLanguageChoosesTheInterface_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<Language>("expected");
    QTest::newRow("Japanese") << QLocale(QLocale::Japanese, QLocale::Japan) << Language::Japanese;
    QTest::newRow("Japanese outside Japan") << QLocale(QLocale::Japanese, QLocale::UnitedStates) << Language::Japanese;
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << Language::English;
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China) << Language::English;
    QTest::newRow("Korean") << QLocale(QLocale::Korean, QLocale::SouthKorea) << Language::English;
    QTest::newRow("C") << QLocale::c() << Language::English;
  }

  void systemLanguageChoosesTheInterface() {
    QFETCH(QLocale, locale);
    QFETCH(Language, expected);
    QCOMPARE(languageFromLocaleId(systemLanguageId(locale)), expected);
    QCOMPARE(systemLanguageId(locale) == kJapaneseLocaleId, expected == Language::Japanese);
  }

  void languageCanBeForced() {
    const auto none = environmentWith({});
    QCOMPARE(forcedLanguage({"quaverly"}, none), std::nullopt);
    QCOMPARE(forcedLanguage({"quaverly", "--language", "ja"}, none), Language::Japanese);
    QCOMPARE(forcedLanguage({"quaverly", "--language=en"}, none), Language::English);
    // A value that names no language, or a missing value, forces nothing.
    QCOMPARE(forcedLanguage({"quaverly", "--language", "de"}, none), std::nullopt);
    QCOMPARE(forcedLanguage({"quaverly", "--language"}, none), std::nullopt);
    // The command line beats the environment.
    const auto english = environmentWith({{"QUAVERLY_LANGUAGE", "en"}});
    QCOMPARE(forcedLanguage({"quaverly"}, english), Language::English);
    QCOMPARE(forcedLanguage({"quaverly", "--language", "ja"}, english), Language::Japanese);
    QCOMPARE(forcedLanguage({"quaverly"}, environmentWith({{"QUAVERLY_LANGUAGE", "EN"}})), std::nullopt);
  }

  void startUsesTheSystemLanguageUnlessForced() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    StartupOptions options = folder.options(Language::English);
    options.forcedLanguage.reset();
    options.systemLocale = QLocale(QLocale::Japanese, QLocale::Japan);
    CTessitorApp app(options);
    QVERIFY(app.initInstance());
    QVERIFY(app.isJapanese());
    QVERIFY(!app.isEnglish());
    QCOMPARE(app.stringBase(), 0u);
    QCOMPARE(app.mainFrame()->windowTitle(), titleOf(Language::Japanese));
    app.exitInstance();
  }

  void refusedWithoutTheLibrary_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<bool>("incomplete");
    QTest::newRow("missing, English") << Language::English << false;
    QTest::newRow("missing, Japanese") << Language::Japanese << false;
    QTest::newRow("without _ENTRYoutDump") << Language::English << true;
  }

  void refusedWithoutTheLibrary() {
    QFETCH(Language, language);
    QFETCH(bool, incomplete);
    ProgramFolder folder;
    if (incomplete) folder.installLibrary(kFakeIncomplete);
    storeValue("Settings", "CurrentFolder", "/kept");
    const QStringList keysBefore = storedKeys();

    MessageRecorder recorder;
    {
      CTessitorApp app(folder.options(language));
      QVERIFY(!app.initInstance());
      QVERIFY(!app.mainFrame());
      QVERIFY(!app.startupComplete());
      QCOMPARE(recorder.messages().size(), 1u);
      QCOMPARE(recorder.messages()[0].style, MessageStyle::Notice);
      const std::string expected = formatMessage(messageText(MessageId{35}), titleOf(language).toStdString());
      QCOMPARE(recorder.messages()[0].text, expected);
      QVERIFY(recorder.messages()[0].text.find(titleOf(language).toStdString()) != std::string::npos);
      // An incomplete library stays loaded until the end.
      QCOMPARE(app.portLibrary().isLoaded(), incomplete);
      app.exitInstance();
      QVERIFY(!app.portLibrary().isLoaded());
    }
    QCOMPARE(storedKeys(), keysBefore);
    QCOMPARE(storedValue("Settings", "CurrentFolder").toString(), QStringLiteral("/kept"));
  }

  void secondInstanceIsRefusedAndRaisesTheFirst_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("English") << Language::English;
    QTest::newRow("Japanese") << Language::Japanese;
  }

  void secondInstanceIsRefusedAndRaisesTheFirst() {
    QFETCH(Language, language);
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp first(folder.options(language));
    QVERIFY(first.initInstance());
    first.mainFrame()->showMinimized();
    QTRY_VERIFY(first.mainFrame()->isMinimized());
    const QStringList keysBefore = storedKeys();
    const std::size_t setDeviceCalls = folder.fake()->setDeviceIdCalls.size();

    MessageRecorder recorder;
    {
      CTessitorApp second(folder.options(language));
      QVERIFY(!second.initInstance());
      QVERIFY(!second.portLibrary().isLoaded());
      second.exitInstance();
    }
    QCOMPARE(recorder.messages().size(), 1u);
    QCOMPARE(recorder.messages()[0].style, MessageStyle::Notice);
    QCOMPARE(recorder.messages()[0].text, std::string(resourceString(1052 + stringBase())));
    QCOMPARE(folder.fake()->setDeviceIdCalls.size(), setDeviceCalls);
    QCOMPARE(storedKeys(), keysBefore);
    // The first one's window comes back.
    QTRY_VERIFY(!first.mainFrame()->isMinimized());
    first.exitInstance();

    // Once the first has ended, the program starts again.
    CTessitorApp third(folder.options(language));
    QVERIFY(third.initInstance());
    third.exitInstance();
  }

  // The lock holds as long as its process runs, however old the lock file is; the
  // lock of a process that has ended is taken over.
  void instanceLockLastsWhileItsProcessRuns() {
    SingleInstanceLock probe(QStringLiteral("lock test"));
    const std::filesystem::path path = QFile::encodeName(probe.lockFileName()).toStdString();
    {
      QLockFile running(probe.lockFileName());
      QVERIFY(running.tryLock(0));
      std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
      SingleInstanceLock second(QStringLiteral("lock test"));
      QVERIFY(!second.acquire());
    }
    QProcess ended;
    ended.start(QStringLiteral("true"));
    QVERIFY(ended.waitForStarted());
    const qint64 pid = ended.processId();
    QVERIFY(ended.waitForFinished());
    QFile file(probe.lockFileName());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(pid) + "\ntrue\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    file.close();
    SingleInstanceLock next(QStringLiteral("lock test"));
    QVERIFY(next.acquire());
  }

  void settingsAreReadWithDefaults() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    const AppSettings& s = app.settings();
    QCOMPARE(s.intervalTimeMs, 100);
    QCOMPARE(s.intervalByteCount, 256);
    QCOMPARE(s.convertMode, 3);
    QVERIFY(s.fileTypes.empty());
    QCOMPARE(s.currentFolder, std::string());
    QCOMPARE(s.ctrlDlgWidth, 560);
    QCOMPARE(s.ctrlDlgHeight, 320);
    QCOMPARE(s.ctrlDlgTreeWidth, 176);
    // Device 0 in both directions when none is stored.
    const std::vector<std::pair<int, unsigned>> expected{{1, 0u}, {0, 0u}};
    QCOMPARE(folder.fake()->setDeviceIdCalls, expected);
    app.exitInstance();
  }

  void storedSettingsAreReadAndWrittenBackAtExit() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    folder.writeIni(
        "[Transmit]\nIntervalTime(msec)=20\nIntervalByteCount=128\nConvertMode=1\n"
        "FileTypeCount=2\nFileTypeSeparate=|\nFileType1=SMF|*.mid\nFileType2=All\n");
    storeValue("MidiDevice", "InID", 2);
    storeValue("MidiDevice", "OutID", 3);
    storeValue("Settings", "CurrentFolder", "/home/user/songs");
    storeValue("Settings", "CtrlDlgWidth", 600);
    storeValue("Settings", "CtrlDlgHeight", 400);
    storeValue("Settings", "CtrlDlgTreeWidth", 150);

    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    AppSettings& s = app.settings();
    QCOMPARE(s.intervalTimeMs, 20);
    QCOMPARE(s.intervalByteCount, 128);
    QCOMPARE(s.convertMode, 1);
    QCOMPARE(s.fileTypes, (std::vector<std::string>{"SMF", "*.mid", "All", ""}));
    QCOMPARE(s.currentFolder, std::string("/home/user/songs"));
    QCOMPARE(s.ctrlDlgWidth, 600);
    QCOMPARE(s.ctrlDlgHeight, 400);
    QCOMPARE(s.ctrlDlgTreeWidth, 150);
    const std::vector<std::pair<int, unsigned>> expected{{1, 2u}, {0, 3u}};
    QCOMPARE(folder.fake()->setDeviceIdCalls, expected);

    // Values changed in the store meanwhile are overwritten with the program's.
    s.currentFolder = "/tmp/elsewhere";
    s.ctrlDlgWidth = 700;
    storeValue("Settings", "CtrlDlgHeight", 999);
    app.exitInstance();
    QCOMPARE(storedValue("Settings", "CurrentFolder").toString(), QStringLiteral("/tmp/elsewhere"));
    QCOMPARE(storedValue("Settings", "CtrlDlgWidth").toInt(), 700);
    QCOMPARE(storedValue("Settings", "CtrlDlgHeight").toInt(), 400);
    QCOMPARE(storedValue("Settings", "CtrlDlgTreeWidth").toInt(), 150);
    // The device choice is written by MIDI Port Setup only.
    QCOMPARE(storedValue("MidiDevice", "InID").toInt(), 2);
    QCOMPARE(storedValue("MidiDevice", "OutID").toInt(), 3);
  }

  void exitClosesBothPortsAndUnloadsTheLibrary() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    QCOMPARE(folder.fake()->inCloseCalls, 0);
    app.exitInstance();
    QCOMPARE(folder.fake()->inCloseCalls, 1);
    QCOMPARE(folder.fake()->outCloseCalls, 1);
    QVERIFY(!app.portLibrary().isLoaded());
    QVERIFY(!app.mainFrame());
  }

  void midiPortSetupStoresTheDeviceIds_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK, English") << Language::English << true;
    QTest::newRow("OK, Japanese") << Language::Japanese << true;
    QTest::newRow("Cancel") << Language::English << false;
  }

  void midiPortSetupStoresTheDeviceIds() {
    QFETCH(Language, language);
    QFETCH(bool, accepted);
    ProgramFolder folder;
    folder.installLibrary(kFake);
    storeValue("MidiDevice", "InID", 1);
    storeValue("MidiDevice", "OutID", 1);
    CTessitorApp app(folder.options(language));
    QVERIFY(app.initInstance());
    FakeTonelinkState& fake = *folder.fake();
    fake.selectAccepts = accepted;
    fake.selectInputId = 4;
    fake.selectOutputId = 5;

    app.mainFrame()->runCommand(32775);
    QCOMPARE(fake.selectCalls, 1);
    QCOMPARE(QString::fromStdString(fake.selectTitle),
             language == Language::English ? QStringLiteral("MIDI Port Setup") : QStringLiteral("MIDIﾎﾟｰﾄの設定"));
    QCOMPARE(storedValue("MidiDevice", "InID").toInt(), accepted ? 4 : 1);
    QCOMPARE(storedValue("MidiDevice", "OutID").toInt(), accepted ? 5 : 1);
    // No connection is made.
    QCOMPARE(fake.inOpenCalls, 0);
    app.exitInstance();
  }
};

int runStartupTests(int argc, char** argv) {
  StartupTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace quaverly::test

#include "StartupTest.moc"
