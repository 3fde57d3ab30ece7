// The wait window of the connection check: one centred line of text, no buttons.
// Modeless; it disables its owner while it exists. The caller keeps the
// user-interface thread in a polling loop and pumps events (pumpMessages).
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

class QLabel;
class QWidget;

namespace quaverly {

class OwnerDisabler;

class CWaitDlg {
 public:
  CWaitDlg();
  ~CWaitDlg();  // destroys the window if it still exists
  CWaitDlg(const CWaitDlg&) = delete;
  CWaitDlg& operator=(const CWaitDlg&) = delete;

  // Disables the owner (the top-level window of `parent`, or the active window) and
  // shows the window in front of it. True when the window exists.
  bool create(QWidget* parent);
  // Shows `text` in the window's one line.
  void setText(const QString& text);
  // Enables the owner again if this window disabled it, and closes the window.
  void destroy();

  // The window while it exists, else null.
  QDialog* window() const { return window_; }

 private:
  QPointer<QDialog> window_;
  QLabel* text_ = nullptr;
  std::unique_ptr<OwnerDisabler> ownerDisabler_;
};

}  // namespace quaverly
