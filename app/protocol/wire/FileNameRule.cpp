#include "app/protocol/wire/FileNameRule.h"

namespace quaverly {

namespace {

constexpr std::string_view kPunctuation = "$&#%'()-@_^{}~!";
constexpr std::size_t kMaxBase = 8;
constexpr std::size_t kMaxExtension = 3;

bool isNameCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x80) return false;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return kPunctuation.find(c) != std::string_view::npos;
}

}  // namespace

bool isValidFileName(std::string_view name) {
  if (name.empty()) return false;
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view extension = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
  if (base.empty() || base.size() > kMaxBase || extension.size() > kMaxExtension) return false;
  for (char c : base) {
    if (!isNameCharacter(c)) return false;
  }
  for (char c : extension) {
    if (!isNameCharacter(c)) return false;  // a second full stop fails here too
  }
  return true;
}

}  // namespace quaverly
