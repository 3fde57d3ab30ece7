// Which window owns a message box or a progress or wait window, and how such a
// window is shown in front of an owner without becoming its child.
//
// The progress and wait windows disable their owner while they exist. A Qt child
// window is disabled together with its parent, so these windows are top-level
// windows of their own, kept in front of the owner as its transient window.
#pragma once

#include <QPointer>
#include <QWidget>

namespace quaverly {

// The top-level window of `parent`; without one the active modal dialog, else the
// active window, else the visible main window. Null when there is none.
QWidget* ownerWindowFor(QWidget* parent);

// Makes `window` (a top-level widget without a parent) a transient window of
// `owner`, so the window system keeps it in front of the owner and modality of the
// owner does not block it, and centres it over the owner. Call before show().
void placeInFrontOf(QWidget* window, QWidget* owner);

// Disables an enabled owner window for its own lifetime and enables it again at the
// end; an owner that was already disabled (or none) is left alone.
class OwnerDisabler {
 public:
  explicit OwnerDisabler(QWidget* owner);
  ~OwnerDisabler();
  OwnerDisabler(const OwnerDisabler&) = delete;
  OwnerDisabler& operator=(const OwnerDisabler&) = delete;

  // True while this object holds the owner disabled.
  bool ownerDisabled() const { return !owner_.isNull(); }

 private:
  QPointer<QWidget> owner_;
};

}  // namespace quaverly
