#include "app/dialogs/TypeFilter.h"

#include <algorithm>

namespace quaverly {

namespace {

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool passesOnePattern(std::string_view pattern, std::string_view fileName) {
  const std::size_t patternDot = pattern.find('.');
  if (pattern.empty() || patternDot == std::string_view::npos) return true;
  std::string_view wanted = pattern.substr(patternDot + 1);
  const std::size_t fileDot = fileName.rfind('.');
  std::string_view actual = fileDot == std::string_view::npos ? std::string_view{} : fileName.substr(fileDot + 1);
  if (const std::size_t star = wanted.find('*'); star != std::string_view::npos) {
    wanted = wanted.substr(0, star);
    actual = actual.substr(0, std::min(star, actual.size()));
  }
  if (wanted.size() != actual.size()) return false;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (wanted[i] != '?' && lowerAscii(wanted[i]) != lowerAscii(actual[i])) return false;
  }
  return true;
}

}  // namespace

bool passesTypeFilter(std::string_view pattern, std::string_view fileName) {
  if (pattern.find(';') == std::string_view::npos) return passesOnePattern(pattern, fileName);
  bool anyPattern = false;
  while (!pattern.empty()) {
    const std::size_t end = std::min(pattern.find(';'), pattern.size());
    std::string_view one = pattern.substr(0, end);
    while (!one.empty() && one.front() == ' ') one.remove_prefix(1);
    while (!one.empty() && one.back() == ' ') one.remove_suffix(1);
    if (!one.empty()) {
      if (passesOnePattern(one, fileName)) return true;
      anyPattern = true;
    }
    pattern.remove_prefix(std::min(end + 1, pattern.size()));
  }
  return !anyPattern;
}

}  // namespace quaverly
