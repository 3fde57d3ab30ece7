// Texts on the MIDI wire are Shift JIS (code page 932) byte strings. A double-byte
// character's trail byte may fall in the ASCII range, even on a backslash or a
// letter, so every scan that looks for separators or folds case steps over whole
// characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::protocol {

// True for a byte that starts a double-byte character.
constexpr bool isShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Orders two names with ASCII letters compared without case and a double-byte
// character taken as one unit. Negative, zero or positive, like strcmp.
int compareIgnoringAsciiCase(std::string_view a, std::string_view b);
inline bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return compareIgnoringAsciiCase(a, b) == 0;
}
// The same order for ordered containers: names that differ in ASCII case only are
// one key.
struct LessIgnoringAsciiCase {
  bool operator()(std::string_view a, std::string_view b) const { return compareIgnoringAsciiCase(a, b) < 0; }
};

// The components of an instrument path split at its backslashes ("0:\POPS\A.MID"
// gives "0:", "POPS", "A.MID"). A trailing backslash gives an empty last component.
std::vector<std::string_view> splitInstrumentPath(std::string_view path);

// Position of the last backslash that is a separator, or npos.
std::size_t lastSeparator(std::string_view path);

// Conversions at the boundary between the wire and the PC's UTF-8 texts. Nothing is
// returned for bytes that do not convert.
std::optional<std::string> shiftJisToUtf8(std::string_view text);
std::optional<std::string> utf8ToShiftJis(std::string_view text);

// A wire text put in front of the user (a message, the terminal): converted to UTF-8
// with control characters written as \xHH, so that a name from the instrument
// cannot move a terminal's cursor; when the bytes do not convert, every byte outside
// printable ASCII is written as \xHH.
std::string displayText(std::string_view shiftJis);

}  // namespace quaverly::protocol
