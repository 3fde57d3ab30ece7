// The main window: a small frame of fixed size whose client area is the view's
// picture, with the menu bar of the run's language. Every menu item and button is a
// command, routed here to the view or to the application.
#pragma once

#include <QMainWindow>

#include "app/shell/CTessitorDoc.h"

namespace quaverly {

class CTessitorApp;
class CTessitorView;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit CMainFrame(CTessitorApp& app);
  ~CMainFrame() override;

  CTessitorView* view() const { return view_; }

  // Runs command `id` (MainMenus.h) as the menu and the buttons do; an unknown id
  // does nothing.
  void runCommand(int id);

  // Shows the window in front of the others, restored if it was minimised.
  void bringToTop();

  // Places the window in the middle of its screen.
  void centreOnScreen();

 private:
  CTessitorApp& app_;
  CTessitorDoc document_;
  CTessitorView* view_ = nullptr;
};

}  // namespace quaverly
