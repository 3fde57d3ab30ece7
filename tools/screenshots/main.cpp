// quaverly-screenshots: starts the program's windows one after the other and saves a
// picture of each: the splash, the main window with a menu open, the About box, the
// port selection dialog, the Control dialog (as it opens, with a rename edit open
// and asking to delete several songs), the Receive and Transmit dialogs (also with
// the pointer over the action button), a four-choice question, the progress window
// in the middle of a transfer and the wait window.
//
//   quaverly-screenshots PROGRAM_DIR OUT_DIR [--language ja|en]
//
// The pictures are named after the window and the language ("about-ja.png"), with
// "@2x" on a screen of two pixels per point.
// PROGRAM_DIR holds libTonelink.so (the build's bin folder). The program starts as it
// always does, so its settings are those of the user's store: run it with a
// throw-away XDG_CONFIG_HOME (scripts/screenshots does).
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QtTest/QTest>

#include <cstdio>
#include <functional>

#include "app/dialogs/AboutBox.h"
#include "app/dialogs/CTransmitDlg.h"
#include "app/dialogs/HoverButton.h"
#include "app/dialogs/PictureButton.h"
#include "app/dialogs/UiText.h"
#include "app/filemanager/ControlDialog.h"
#include "app/filemanager/InPlaceEdit.h"
#include "app/filemanager/SongFileList.h"
#include "app/messages/UiStrings.h"
#include "app/shell/CMainFrame.h"
#include "app/shell/CProgressDlg.h"
#include "app/shell/CTessitorApp.h"
#include "app/shell/CTessitorView.h"
#include "app/shell/CWaitDlg.h"
#include "app/shell/GuiMessagePresenter.h"
#include "app/shell/LanguageChoice.h"
#include "app/shell/MainMenus.h"
#include "app/shell/SplashWindow.h"

namespace {

using namespace quaverly;

QString g_outDir;
QString g_suffix;
int g_failures = 0;

void save(const QImage& image, const QString& name) {
  const QString path = QDir(g_outDir).filePath(name + u'-' + g_suffix + QStringLiteral(".png"));
  if (image.isNull() || !image.save(path)) {
    std::fprintf(stderr, "quaverly-screenshots: could not save %s\n", qPrintable(path));
    ++g_failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

// Lets the window system show what was just opened.
void settle(QWidget* window) {
  if (window) (void)QTest::qWaitForWindowExposed(window);
  QTest::qWait(200);
}

// The screen where `area` lies, as the user sees it (pop-up menus included).
QImage screenArea(const QRect& area) {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

// Runs `open`, which shows a modal window and returns when it closes; the window is
// photographed once it is up and then closed with Escape.
void photographModal(const QString& name, const std::function<void()>& open) {
  QTimer::singleShot(0, [name] {
    QWidget* modal = QApplication::activeModalWidget();
    settle(modal);
    modal = QApplication::activeModalWidget();
    if (!modal) {
      std::fprintf(stderr, "quaverly-screenshots: no window for %s\n", qPrintable(name));
      ++g_failures;
      return;
    }
    save(modal->grab().toImage(), name);
    QTest::keyClick(modal, Qt::Key_Escape);
  });
  open();
}

// The Control command on the virtual instrument's demo songs: the dialog as it
// opens, with the rename edit open on the first song, and asking whether to delete
// every song (the question and the dialog behind it).
void photographControl(CMainFrame* frame) {
  // The dialog opens after the connection check; a message instead means that the
  // check failed.
  auto* poll = new QTimer;
  poll->setInterval(50);
  QObject::connect(poll, &QTimer::timeout, [poll] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    auto* dialog = qobject_cast<ControlDialog*>(modal);
    if (!dialog) {
      std::fprintf(stderr, "quaverly-screenshots: no Control dialog (the connection check failed)\n");
      ++g_failures;
      QTest::keyClick(modal, Qt::Key_Escape);
      return;
    }
    settle(dialog);
    save(dialog->grab().toImage(), QStringLiteral("control"));
    QTest::keyClick(dialog->fileList(), Qt::Key_F2);
    settle(dialog);
    save(dialog->grab().toImage(), QStringLiteral("control-rename"));
    if (InPlaceEdit* edit = dialog->renameEdit()) QTest::keyClick(edit, Qt::Key_Escape);
    settle(dialog);
    QTest::keyClick(dialog->fileList(), Qt::Key_A, Qt::AltModifier);
    QTimer::singleShot(0, [dialog] {
      QWidget* question = QApplication::activeModalWidget();
      settle(question);
      question = QApplication::activeModalWidget();
      if (question == dialog) return;
      save(screenArea(dialog->frameGeometry().united(question->frameGeometry())),
           QStringLiteral("control-delete-many"));
      QTest::keyClick(question, Qt::Key_Escape);
    });
    dialog->deleteSelected();
    QTest::keyClick(dialog->fileList(), Qt::Key_Escape);
  });
  poll->start();
  frame->runCommand(command::kControl);
}

// The Receive or Transmit command on the demo songs: the dialog as it opens, and
// with the pointer over its action button (the highlighted picture).
void photographTransfer(CMainFrame* frame, int commandId, const QString& name) {
  auto* poll = new QTimer;
  poll->setInterval(50);
  QObject::connect(poll, &QTimer::timeout, [poll, name] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    auto* dialog = qobject_cast<CTransmitDlg*>(modal);
    if (!dialog) {
      std::fprintf(stderr, "quaverly-screenshots: no %s dialog (the connection check failed)\n", qPrintable(name));
      ++g_failures;
      QTest::keyClick(modal, Qt::Key_Escape);
      return;
    }
    settle(dialog);
    save(dialog->grab().toImage(), name);
    QTest::mouseMove(dialog->actionButton());
    settle(dialog);
    save(dialog->grab().toImage(), name + QStringLiteral("-hot"));
    QCursor::setPos(0, 0);
    dialog->reject();
  });
  poll->start();
  frame->runCommand(commandId);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  const QStringList positional = arguments.filter(QRegularExpression(QStringLiteral("^[^-]")));
  if (positional.size() < 3 || arguments.contains(QStringLiteral("--help"))) {
    std::fprintf(stderr, "usage: quaverly-screenshots PROGRAM_DIR OUT_DIR [--language ja|en]\n");
    return 2;
  }
  g_outDir = positional[2];
  QDir().mkpath(g_outDir);
  setMessagePresenter(guiMessagePresenter());

  StartupOptions options;
  options.programDirectory = QDir(positional[1]).filesystemAbsolutePath();
  options.forcedLanguage = forcedLanguage(arguments);
  CTessitorApp app(options);
  if (!app.initInstance()) {
    app.exitInstance();
    return 1;
  }
  g_suffix = app.isJapanese() ? QStringLiteral("ja") : QStringLiteral("en");
  if (application.devicePixelRatio() > 1) g_suffix += QStringLiteral("@2x");
  // The pointer away from the window, so that no button shows its hover picture.
  QCursor::setPos(0, 0);
  CMainFrame* frame = app.mainFrame();
  settle(frame);

  {
    SplashWindow splash(app.title());
    splash.show();
    settle(&splash);
    save(splash.grab().toImage(), QStringLiteral("splash"));
  }

  // The Transfer menu open below its title.
  frame->bringToTop();
  settle(frame);
  QAction* transfer = frame->menuBar()->actions().value(1);
  frame->menuBar()->setActiveAction(transfer);
  settle(transfer->menu());
  const QRect area = frame->frameGeometry().united(transfer->menu()->geometry());
  save(screenArea(area), QStringLiteral("main-window-menu"));
  transfer->menu()->hide();
  settle(frame);
  save(frame->grab().toImage(), QStringLiteral("main-window"));
  // As while the Receive command runs.
  PictureButton* receive = frame->view()->button(command::kReceive);
  receive->showPressed();
  settle(frame);
  save(frame->grab().toImage(), QStringLiteral("main-window-pressed"));
  receive->reset();

  photographModal(QStringLiteral("about"), [&] { app.showAbout(frame); });
  photographModal(QStringLiteral("port-setup"), [&] { app.setupMidiPorts(); });
  photographControl(frame);
  photographTransfer(frame, command::kReceive, QStringLiteral("receive"));
  photographTransfer(frame, command::kTransmit, QStringLiteral("transmit"));
  photographModal(QStringLiteral("four-choice-overwrite"), [] { showMessage(MessageId::AskOverwrite, "SONG1.MID"); });
  photographModal(QStringLiteral("four-choice-convert"), [] { showMessage(MessageId::AskConvert, "DEMO1.MID"); });
  photographModal(QStringLiteral("notice"), [] { showMessage(MessageId::NoAnswer); });

  {
    CProgressDlg progress(TransferKind::Receive, frame);
    progress.setRange(0, 100);
    progress.setPos(45);
    settle(progress.window());
    save(progress.window()->grab().toImage(), QStringLiteral("progress-receive"));
  }
  {
    CProgressDlg progress(TransferKind::Transmit, frame);
    progress.setRange(0, 100);
    progress.setPos(80);
    settle(progress.window());
    save(progress.window()->grab().toImage(), QStringLiteral("progress-transmit"));
  }
  {
    CWaitDlg wait;
    wait.create(frame);
    wait.setText(toQString(messageText(MessageId::Confirming)));
    settle(wait.window());
    save(wait.window()->grab().toImage(), QStringLiteral("wait"));
    wait.destroy();
  }

  frame->close();
  app.exitInstance();
  return g_failures == 0 ? 0 : 1;
}
