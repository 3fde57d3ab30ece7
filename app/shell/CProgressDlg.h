// The progress window of the receive and transmit jobs: a picture of the operation,
// a bar drawn over it, and Cancel. Modeless; it disables its owner while it exists.
// The job keeps the user-interface thread in a polling loop; setPos and pollCancel
// pump the events.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QRect>

#include <memory>

#include "app/jobs/ProgressDisplay.h"

class QWidget;

namespace quaverly {

class OwnerDisabler;
class ProgressWindow;

class CProgressDlg final : public ProgressDisplay {
 public:
  // Bitmaps: the picture of each kind and the bar's 1 x 3 pixel strip.
  static constexpr int kReceivePicture = 194;
  static constexpr int kTransmitPicture = 192;
  static constexpr int kBarPicture = 195;

  // Creates the window: the owner (the top-level window of `owner`, or the active
  // window) is disabled and the window shown in front of it.
  CProgressDlg(TransferKind kind, QWidget* owner);
  // Enables the owner again and closes the window.
  ~CProgressDlg() override;
  CProgressDlg(const CProgressDlg&) = delete;
  CProgressDlg& operator=(const CProgressDlg&) = delete;

  void setRange(int low, int high) override;
  // Pumps events, then draws the bar at `percent` (0-100) at once.
  void setPos(int percent) override;
  // Pumps events; true when Cancel was pressed since the last call.
  bool pollCancel() override;

  int percent() const { return percent_; }
  // The window (null once it is gone).
  QDialog* window() const;
  // The rectangle of the bar at `percent`, in the window's client coordinates.
  QRect barRect(int percent) const;

 private:
  QPointer<ProgressWindow> window_;
  std::unique_ptr<OwnerDisabler> ownerDisabler_;
  int percent_ = 0;
  int rangeLow_ = 0;
  int rangeHigh_ = 100;
};

// Progress windows for the jobs, owned by `owner`'s window.
ProgressDisplayFactory guiProgressFactory(QWidget* owner);

}  // namespace quaverly
