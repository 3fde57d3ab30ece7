#include <array>
#include <cctype>
#include <string>

#include "app/platform/PlainFileName.h"

namespace quaverly::platform {

namespace {

// The device names Windows reserves in every folder, also with an extension.
bool isDeviceName(std::string_view name) {
  const std::string_view stem = name.substr(0, name.find('.'));
  std::string upper;
  for (const char c : stem) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  static constexpr std::array<std::string_view, 6> kPlain{"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const std::string_view device : kPlain) {
    if (upper == device) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
         upper[3] <= '9';
}

}  // namespace

bool isPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  // The system drops a trailing dot or space, so the name would meet another file.
  if (name.back() == '.' || name.back() == ' ') return false;
  return !isDeviceName(name);
}

}  // namespace quaverly::platform
