// The conversions between the wire's code page 932 and UTF-8 through iconv.
#include <iconv.h>

#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::protocol {

namespace {

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

std::optional<std::string> shiftJisToUtf8(std::string_view text) { return convert(text, "UTF-8", "CP932"); }

std::optional<std::string> utf8ToShiftJis(std::string_view text) { return convert(text, "CP932", "UTF-8"); }

}  // namespace quaverly::protocol
