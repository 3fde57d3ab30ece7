// The port selection dialog as the library runs it, whatever draws it: Qt widgets on
// Linux, a dialog from the library's resource template on Windows.
#pragma once

namespace tonelink {

// Shows the dialog modal to the application's active window. Texts are UTF-8; a null
// text counts as empty. The two ids go in
// as the current device ids and, after OK only, come back as the chosen positions.
// Returns true after OK; false after Cancel, and without showing anything when the
// dialog cannot be shown on the calling thread.
bool runPortSelectDialog(const char* title, const char* inLabel, const char* outLabel, bool englishMode,
                         unsigned& inDeviceId, unsigned& outDeviceId);

}  // namespace tonelink
