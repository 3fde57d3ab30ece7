#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kPrefix = "quaverly-cli: ";

}  // namespace

Language languageFromEnvironment(const EnvironmentLookup& environment) {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const auto value = environment(name);
    if (!value || value->empty()) continue;
    return value->starts_with("ja") ? Language::Japanese : Language::English;
  }
  return Language::English;
}

MessagePresenter terminalPresenter(std::ostream& stream) {
  return [&stream](MessageStyle, std::string_view text) {
    std::string line(kPrefix);
    for (const char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    stream << printable(line) << '\n';
    stream.flush();
    return MessageResult::Ok;
  };
}

std::string printable(std::string_view utf8) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string text;
  text.reserve(utf8.size());
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    } else {
      text += c;
    }
  }
  return text;
}

void printFailure(std::ostream& stream, std::string_view text) {
  stream << kPrefix << printable(text) << '\n';
  stream.flush();
}

}  // namespace quaverly::cli
