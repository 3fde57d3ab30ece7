// The names the port selection dialog lists, from the system layer. Kept apart from
// the dialog because the system layer's declarations share their names with the
// macros of <windows.h>: this header includes neither.
#pragma once

#include <string>
#include <vector>

namespace tonelink {

// The product names (UTF-8) of the input or output devices whose capability query
// succeeds, in device id order. A device that cannot be asked is left out, so a
// position in the list is a device id only up to the first such device.
std::vector<std::string> midiInputNames();
std::vector<std::string> midiOutputNames();

}  // namespace tonelink
