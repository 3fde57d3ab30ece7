#include "app/protocol/wire/ShiftJisText.h"

#include <iconv.h>

#include <cerrno>

namespace quaverly::protocol {

namespace {

unsigned char foldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

std::optional<std::string> convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
  const bool ok = rc != static_cast<std::size_t>(-1) && inLeft == 0 &&
                  iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

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

std::optional<std::string> shiftJisToUtf8(std::string_view text) { return convert(text, "UTF-8", "CP932"); }

std::optional<std::string> utf8ToShiftJis(std::string_view text) { return convert(text, "CP932", "UTF-8"); }

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
