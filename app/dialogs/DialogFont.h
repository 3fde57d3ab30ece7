// The program's dialog font: one 9-point font for the whole process, whose face is
// user-interface string 38 (a Japanese Gothic face or "MS Sans Serif"). The
// progress, wait and confirmation windows set it on their controls.
#pragma once

#include <QFont>

namespace quaverly {

// (Re)creates the dialog font for the current language. A face the system does not
// have is replaced by one it has that shows the language's text, at the same size.
// User-interface thread; needs the application object.
void createDialogFont();

// The dialog font; created on first use if createDialogFont has not run yet.
const QFont& dialogFont();

}  // namespace quaverly
