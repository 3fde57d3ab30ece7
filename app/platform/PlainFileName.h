// Whether a name from outside (the instrument, a settings file) can be used as one
// part of a PC path: a name of an entry inside a folder, never one that leads out of
// it, into a device or into another drive. Texts are UTF-8.
#pragma once

#include <string_view>

namespace quaverly::platform {

// Not empty, not "." or "..", no NUL and no "/"; on Windows also none of \ : * ? " < > |
// nor a control character, no trailing dot or space, and no device name (CON, NUL,
// COM1, ... with or without an extension).
bool isPlainFileName(std::string_view name);

}  // namespace quaverly::platform
