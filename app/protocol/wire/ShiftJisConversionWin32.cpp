// The conversions between the wire's code page 932 and UTF-8 through the system's
// code page tables, by way of UTF-16. A byte sequence that is not valid in the source
// encoding, or a character that code page 932 cannot hold, gives nothing: the system
// would otherwise put a replacement character or a look-alike in its place.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <climits>

#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::protocol {

namespace {

constexpr UINT kShiftJis = 932;

std::optional<std::wstring> toWide(UINT codePage, std::string_view text) {
  if (text.size() > INT_MAX / 2) return std::nullopt;
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length) != length) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> fromWide(UINT codePage, const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  // Code page 932 takes no WC_ERR_INVALID_CHARS; it reports a character it could not
  // hold through usedDefault instead, and must not map one to a "best fit" look-alike.
  const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* lossy = codePage == CP_UTF8 ? nullptr : &usedDefault;
  const int length = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, lossy);
  if (length <= 0 || usedDefault) return std::nullopt;
  std::string text(static_cast<std::size_t>(length), '\0');
  if (WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr, lossy) != length ||
      usedDefault) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> convert(std::string_view text, UINT from, UINT to) {
  if (text.empty()) return std::string();
  const auto wide = toWide(from, text);
  if (!wide) return std::nullopt;
  return fromWide(to, *wide);
}

}  // namespace

std::optional<std::string> shiftJisToUtf8(std::string_view text) { return convert(text, kShiftJis, CP_UTF8); }

std::optional<std::string> utf8ToShiftJis(std::string_view text) { return convert(text, CP_UTF8, kShiftJis); }

}  // namespace quaverly::protocol
