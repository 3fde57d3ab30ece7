// The instrument's rule for file names: an 8.3 name of plain ASCII characters.
#pragma once

#include <string_view>

namespace quaverly {

// True for a non-empty name of ASCII letters, digits and $&#%'()-@_^{}~! with at most
// one full stop, 1 to 8 characters before it and 0 to 3 after it.
bool isValidFileName(std::string_view name);

}  // namespace quaverly
