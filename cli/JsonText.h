// JSON texts for the --json output of quaverly-cli: strings escaped as JSON asks,
// names from the instrument in UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace quaverly::cli {

// `utf8` as a JSON string, quotes included: '"', '\' and control characters
// escaped, everything else as it is.
std::string jsonString(std::string_view utf8);

// An instrument name (Shift JIS) as a JSON string of its UTF-8 text; bytes that do
// not convert are written as \xHH text, as the terminal shows them.
std::string jsonName(std::string_view shiftJis);

}  // namespace quaverly::cli
