#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::protocol {

namespace {

unsigned char foldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

}  // namespace

int compareIgnoringAsciiCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if (isShiftJisLeadByte(ca) || isShiftJisLeadByte(cb)) {
      // Compare the whole character byte by byte, without folding its trail byte.
      if (ca != cb) return ca < cb ? -1 : 1;
      if (i + 1 < a.size() && i + 1 < b.size()) {
        const auto ta = static_cast<unsigned char>(a[i + 1]);
        const auto tb = static_cast<unsigned char>(b[i + 1]);
        if (ta != tb) return ta < tb ? -1 : 1;
        i += 2;
        continue;
      }
      ++i;
      continue;
    }
    const unsigned char fa = foldAscii(ca);
    const unsigned char fb = foldAscii(cb);
    if (fa != fb) return fa < fb ? -1 : 1;
    ++i;
  }
  if (a.size() == b.size()) return 0;
  return i < a.size() ? 1 : -1;
}

std::vector<std::string_view> splitInstrumentPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (isShiftJisLeadByte(c)) {
      ++i;  // the trail byte is never a separator
    } else if (c == '\\') {
      parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(path.substr(std::min(start, path.size())));
  return parts;
}

std::size_t lastSeparator(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (isShiftJisLeadByte(c)) {
      ++i;
    } else if (c == '\\') {
      last = i;
    }
  }
  return last;
}

namespace {

// Appends every byte of `text`, those for which `escape` holds as \xHH.
template <typename Predicate>
std::string escaped(std::string_view text, Predicate escape) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (escape(byte)) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string displayText(std::string_view shiftJis) {
  if (const auto converted = shiftJisToUtf8(shiftJis)) {
    return escaped(*converted, [](unsigned char byte) { return byte < 0x20 || byte == 0x7F; });
  }
  return escaped(shiftJis, [](unsigned char byte) { return byte < 0x20 || byte >= 0x7F; });
}

}  // namespace quaverly::protocol
