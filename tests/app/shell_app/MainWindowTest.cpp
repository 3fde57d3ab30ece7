// The main window: its fixed size around the picture, the menus and tooltips of each
// language, and its commands.
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "app/dialogs/CTransmitDlg.h"
#include "app/dialogs/PcFilePane.h"
#include "app/dialogs/PictureButton.h"
#include "app/filemanager/ControlDialog.h"
#include "app/filemanager/SongFileList.h"
#include "app/shell/CMainFrame.h"
#include "app/shell/CTessitorApp.h"
#include "app/shell/CTessitorView.h"
#include "app/shell/MainMenus.h"
#include "tests/app/dialogs/GuiTestSupport.h"
#include "tests/app/shell_app/TestSupport.h"

Q_DECLARE_METATYPE(quaverly::Language)

namespace quaverly::test {

namespace {

const QString kFake = QStringLiteral(FAKE_COMPLETE_LIBRARY);

// Menu titles and items as the menu bar shows them: (title, [(text, id)]).
using MenuTexts = QList<QPair<QString, QList<QPair<QString, int>>>>;

MenuTexts menuTexts(QMenuBar* bar) {
  MenuTexts texts;
  for (QAction* popup : bar->actions()) {
    QList<QPair<QString, int>> items;
    for (QAction* item : popup->menu()->actions()) {
      items.append({item->isSeparator() ? QString() : item->text(), item->isSeparator() ? 0 : item->data().toInt()});
    }
    texts.append({popup->text(), items});
  }
  return texts;
}

QAction* actionFor(QMenuBar* bar, int id) {
  for (QAction* popup : bar->actions()) {
    for (QAction* item : popup->menu()->actions()) {
      if (!item->isSeparator() && item->data().toInt() == id) return item;
    }
  }
  return nullptr;
}

// Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;

 public slots:
  void open(const QUrl& url) { urls.append(url); }
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { clearUserSettings(); }

  void frameFitsThePictureAndCannotBeResized() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    CMainFrame* frame = app.mainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    QCOMPARE(frame->centralWidget(), frame->view());
    QCOMPARE(frame->view()->size(), QSize(292, 158));
    QCOMPARE(frame->view()->geometry().topLeft(), QPoint(0, frame->menuBar()->height()));
    QCOMPARE(frame->minimumSize(), frame->maximumSize());
    QCOMPARE(frame->size(), QSize(292, 158 + frame->menuBar()->height()));
    QVERIFY(!(frame->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
    frame->resize(500, 400);
    QCOMPARE(frame->view()->size(), QSize(292, 158));
    app.exitInstance();
  }

  void menusAndTooltipsFollowTheLanguage_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<MenuTexts>("menus");
    QTest::addColumn<QStringList>("tooltips");
    QTest::newRow("English") << Language::English
                             << MenuTexts{{"&File", {{"E&xit", 57665}}},
                                          {"&Transfer",
                                           {{"&Receive...", 32771}, {"&Transmit...", 32772}, {"&Control...", 32773}}},
                                          {"&Setup", {{"MIDI Port &Setup...", 32775}}},
                                          {"&Help", {{"&Manual", 32778}, {"", 0}, {"&About Quaverly...", 57664}}}}
                             << QStringList{"Receive", "Transmit", "Control"};
    QTest::newRow("Japanese")
        << Language::Japanese
        << MenuTexts{{"ﾌｧｲﾙ(&F)", {{"終了(&X)", 57665}}},
                     {"通信(&T)", {{"ﾌｧｲﾙ受信(&R)...", 32771}, {"ﾌｧｲﾙ送信(&T)...", 32772}, {"ｺﾝﾄﾛｰﾙ(&C)...", 32773}}},
                     {"設定(&S)", {{"MIDIﾎﾟｰﾄの設定(&S)...", 32775}}},
                     {"ﾍﾙﾌﾟ(&H)", {{"ﾏﾆｭｱﾙ(&M)", 32778}, {"", 0}, {"ﾊﾞｰｼﾞｮﾝ情報(&A)...", 57664}}}}
        << QStringList{"ﾌｧｲﾙ受信", "ﾌｧｲﾙ送信", "ｺﾝﾄﾛｰﾙ"};
  }

  void menusAndTooltipsFollowTheLanguage() {
    QFETCH(Language, language);
    QFETCH(MenuTexts, menus);
    QFETCH(QStringList, tooltips);
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(language));
    QVERIFY(app.initInstance());
    CMainFrame* frame = app.mainFrame();
    QCOMPARE(menuTexts(frame->menuBar()), menus);
    const int commands[] = {command::kReceive, command::kTransmit, command::kControl};
    for (int i = 0; i < 3; ++i) {
      PictureButton* button = frame->view()->button(commands[i]);
      QVERIFY(button);
      QCOMPARE(button->toolTip(), tooltips[i]);
      QCOMPARE(button->commandId(), commands[i]);
    }
    app.exitInstance();
  }

  void buttonsHaveTheirPlaces() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    CTessitorView* view = app.mainFrame()->view();
    QCOMPARE(view->button(command::kReceive)->geometry(), QRect(104, 32, 93, 27));
    QCOMPARE(view->button(command::kTransmit)->geometry(), QRect(101, 61, 93, 27));
    QCOMPARE(view->button(command::kControl)->geometry(), QRect(101, 93, 93, 23));
    QVERIFY(!view->button(command::kMidiPortSetup));
    app.exitInstance();
  }

  // The connection fails at once (the fake cannot open the input port): message 1
  // is shown while the button looks pressed, no connection remains, and the button
  // is normal again afterwards; by a click on the button and by the menu.
  void failedConnectionReturnsTheButtonToNormal() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    CMainFrame* frame = app.mainFrame();
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    PictureButton* receive = frame->view()->button(command::kReceive);
    PictureButton* transmit = frame->view()->button(command::kTransmit);
    QList<int> statesDuringMessage;
    MessageRecorder recorder([&] { statesDuringMessage << receive->state() << transmit->state(); });

    QTest::mouseClick(receive, Qt::LeftButton, {}, receive->rect().center());
    QTRY_COMPARE(recorder.messages().size(), 1u);
    QCOMPARE(recorder.messages()[0].text, std::string(messageText(MessageId{1})));
    QCOMPARE(statesDuringMessage, (QList<int>{3, 0}));
    QCOMPARE(receive->state(), 0);
    QCOMPARE(folder.fake()->inOpenCalls, 1);

    actionFor(frame->menuBar(), command::kTransmit)->trigger();
    QCOMPARE(recorder.messages().size(), 2u);
    QCOMPARE(statesDuringMessage.mid(2), (QList<int>{0, 3}));
    QCOMPARE(transmit->state(), 0);
    QCOMPARE(folder.fake()->inOpenCalls, 2);
    app.exitInstance();
  }

  void manualOpensThePdfBesideTheProgram() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    actionFor(app.mainFrame()->menuBar(), command::kManual)->trigger();
    QDir::setCurrent(previous);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(folder.path() + QStringLiteral("/QuaverlyManual.pdf"))});
    app.exitInstance();
  }

  void exitClosesTheWindow() {
    ProgramFolder folder;
    folder.installLibrary(kFake);
    CTessitorApp app(folder.options(Language::English));
    QVERIFY(app.initInstance());
    QVERIFY(app.mainFrame()->isVisible());
    actionFor(app.mainFrame()->menuBar(), command::kExit)->trigger();
    QVERIFY(!app.mainFrame()->isVisible());
    app.exitInstance();
  }

  // The built Tonelink with its virtual instrument (a memory drive with the demo
  // songs): Control finds the instrument, lists its songs in the Control dialog,
  // and after Esc the dialog's size is kept and the button is normal; the Receive
  // and Transmit dialogs hand the PC folder on. Nothing is reported.
  void controlListsTheVirtualInstrument() {
    // The ports start on the system's current instrument; storing the ids the library
    // chose keeps them there.
    {
      QSettings system(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Microsoft"),
                       QStringLiteral("Windows"));
      system.setValue(QStringLiteral("CurrentVersion/Multimedia/MIDIMap/CurrentInstrument"),
                      QStringLiteral("Quaverly Virtual Instrument"));
    }
    StartupOptions options;
    options.programDirectory = QDir(QStringLiteral(TONELINK_DIRECTORY)).filesystemAbsolutePath();
    options.forcedLanguage = Language::English;
    {
      protocol::PortLibraryBinding probe;
      QVERIFY(probe.load(options.programDirectory));
      storeValue("MidiDevice", "InID", probe.input.getDeviceId(1));
      storeValue("MidiDevice", "OutID", probe.output.getDeviceId(0));
    }
    CTessitorApp app(options);
    QVERIFY(app.initInstance());
    MessageRecorder recorder;
    app.settings().ctrlDlgWidth = 500;
    app.settings().ctrlDlgHeight = 300;
    QStringList listed;
    QSize openedAt;
    QSize closedAt;
    const auto runControl = [&](QSize resizeTo) {
      whenModal([&, resizeTo](QWidget* modal) {
        auto* dialog = qobject_cast<ControlDialog*>(modal);
        QVERIFY(dialog);
        listed.clear();
        for (int row = 0; row < dialog->fileList()->count(); ++row) listed << dialog->fileList()->item(row)->text();
        openedAt = dialog->frameGeometry().size();
        if (resizeTo.isValid()) dialog->resize(resizeTo);
        closedAt = dialog->frameGeometry().size();
        QTest::keyClick(dialog->fileList(), Qt::Key_Escape);
      });
      app.mainFrame()->runCommand(command::kControl);
    };
    runControl(QSize(420, 250));
    QCOMPARE(recorder.messages().size(), 0u);
    QCOMPARE(listed, QStringList({QStringLiteral("DEMO1.MID"), QStringLiteral("DEMO2.MID")}));
    QCOMPARE(openedAt, QSize(500, 300));
    QCOMPARE(QSize(app.settings().ctrlDlgWidth, app.settings().ctrlDlgHeight), closedAt);
    // The next opening has the outer size of the last closing.
    runControl(QSize());
    QCOMPARE(openedAt, closedAt);

    // Receive leaves the PC folder it ended in; Transmit opens there.
    QTemporaryDir songs;
    QString openedIn;
    const auto runTransfer = [&](int commandId, const QString& goTo) {
      whenModal([&, goTo](QWidget* modal) {
        auto* dialog = qobject_cast<CTransmitDlg*>(modal);
        QVERIFY(dialog);
        openedIn = dialog->pcPane()->directory().absolutePath();
        if (!goTo.isEmpty()) dialog->pcPane()->setDirectory(goTo);
        QTest::keyClick(dialog, Qt::Key_Escape);
      });
      app.mainFrame()->runCommand(commandId);
    };
    runTransfer(command::kReceive, songs.path());
    QCOMPARE(app.settings().currentFolder, songs.path().toStdString());
    runTransfer(command::kTransmit, QString());
    QCOMPARE(openedIn, songs.path());
    QCOMPARE(app.mainFrame()->view()->button(command::kTransmit)->state(), 0);
    QCOMPARE(recorder.messages().size(), 0u);
    QCOMPARE(app.mainFrame()->view()->button(command::kControl)->state(), 0);
    app.exitInstance();
  }
};

int runMainWindowTests(int argc, char** argv) {
  MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace quaverly::test

#include "MainWindowTest.moc"
