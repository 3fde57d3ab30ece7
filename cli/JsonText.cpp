#include "cli/JsonText.h"

#include <cstdio>
#include <optional>

#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::cli {

std::string jsonString(std::string_view utf8) {
  std::string text = "\"";
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text + '"';
}

std::string jsonName(std::string_view shiftJis) {
  const std::optional<std::string> utf8 = protocol::shiftJisToUtf8(shiftJis);
  return jsonString(utf8 ? *utf8 : protocol::displayText(shiftJis));
}

}  // namespace quaverly::cli
