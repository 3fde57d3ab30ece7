#include "app/shell/CMainFrame.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>

#include "app/messages/UiStrings.h"
#include "app/shell/CTessitorApp.h"
#include "app/shell/CTessitorView.h"
#include "app/shell/MainMenus.h"

namespace quaverly {

CMainFrame::CMainFrame(CTessitorApp& app)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      app_(app) {
  setWindowTitle(app.title());
  buildMainMenu(*menuBar(), uiLanguage(), [this](int id) { runCommand(id); });
  view_ = new CTessitorView(document_, app_.settings(), this);
  connect(view_, &CTessitorView::commandPosted, this, &CMainFrame::runCommand);
  setCentralWidget(view_);
  // The view has the picture's size; the frame fits around it and the menu bar and
  // cannot be resized or maximised.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  centreOnScreen();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::runCommand(int id) {
  switch (id) {
    case command::kReceive:
    case command::kTransmit:
    case command::kControl:
      view_->runInstrumentCommand(id);
      break;
    case command::kMidiPortSetup:
      app_.setupMidiPorts();
      break;
    case command::kManual:
      app_.openManual();
      break;
    case command::kAbout:
      app_.showAbout(this);
      break;
    case command::kExit:
      close();
      break;
    default:
      break;
  }
}

void CMainFrame::bringToTop() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void CMainFrame::centreOnScreen() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace quaverly
