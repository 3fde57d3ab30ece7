// Presents the program's messages in the GUI: notices and OK/Cancel questions as
// message boxes with the exclamation icon, the overwrite and convert questions in
// the four-choice dialog; every box is captioned with the application title and
// owned by the active window.
#pragma once

#include "app/messages/MessageCatalogue.h"

#include <QString>

class QWidget;

namespace quaverly {

// The presenter to install with setMessagePresenter. Create it on the
// user-interface thread. It may then be called from any thread: from a worker the
// box is shown on the user-interface thread, and the worker waits for the answer.
// That thread must meanwhile run its event loop or pump events (pumpMessages).
MessagePresenter guiMessagePresenter();

// Shows `text` in `style` on the calling thread, which must be the user-interface
// thread, owned by `parent`'s window or the active window; returns the button.
MessageResult presentMessage(MessageStyle style, const QString& text, QWidget* parent = nullptr);

}  // namespace quaverly
