#include "app/settings/IniFile.h"

#include <fstream>
#include <system_error>

namespace quaverly {

namespace {

// Blanks as the profile functions trim them; Ctrl-Z is the old end-of-file mark.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A NUL ends a name or a value, as it ends the text the profile functions copy.
std::string_view untilNul(std::string_view text) { return text.substr(0, text.find('\0')); }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence: a cut that
// would fall on a continuation byte moves back to the start of its character.
std::string_view cutAtCharacter(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

// The text between a matching pair of surrounding quotes, else the text itself.
std::string_view withoutQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

IniFile IniFile::parse(std::string_view text) {
  IniFile file;
  if (text.size() > kMaxFileBytes) text = text.substr(0, kMaxFileBytes);
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());

  Section* current = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);

    line = trim(line);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos && close > 0) {
        file.sections_.push_back(Section{std::string(trim(untilNul(line.substr(1, close - 1)))), {}});
        current = &file.sections_.back();
        continue;
      }
      // "[" without a closing bracket is no section header; like any other line it
      // is read as a key below.
    }
    if (!current) continue;  // before the first section: never found

    const std::size_t equals = line.find('=');
    Entry entry;
    entry.key = std::string(trim(untilNul(line.substr(0, equals))));
    if (equals != std::string_view::npos) {
      entry.value = std::string(cutAtCharacter(trim(untilNul(line.substr(equals + 1))), kMaxValueBytes));
    }
    current->entries.push_back(std::move(entry));
  }
  return file;
}

std::optional<IniFile> IniFile::load(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxFileBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::nullopt;
  text.resize(static_cast<std::size_t>(in.gcount()));
  return parse(text);
}

std::optional<std::string_view> IniFile::rawValue(std::string_view section, std::string_view key) const {
  section = trim(section);
  key = trim(key);
  for (const Section& s : sections_) {
    if (!equalsIgnoringAsciiCase(s.name, section)) continue;
    // Only the first section of the name is searched.
    for (const Entry& entry : s.entries) {
      if (equalsIgnoringAsciiCase(entry.key, key)) {
        if (!entry.value) return std::nullopt;
        return std::string_view(*entry.value);
      }
    }
    return std::nullopt;
  }
  return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
  if (const auto value = rawValue(section, key)) return std::string(withoutQuotes(*value));
  while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
  return std::string(defaultValue);
}

std::int32_t IniFile::readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const {
  const std::string text = readString(section, key, "");
  if (text.empty()) return defaultValue;
  return parseProfileInteger(text);
}

std::int32_t parseProfileInteger(std::string_view text) {
  text = text.substr(0, IniFile::kMaxIntegerChars);
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint32_t total = 0;  // unsigned: overflow wraps, as on the platform
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    total = total * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) total = 0u - total;
  return static_cast<std::int32_t>(total);
}

}  // namespace quaverly
