// UTF-8 and the UTF-16 of the Windows API, both ways, and the system's wording of an
// error code. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace quaverly::platform {

// Bytes that are not UTF-8 become U+FFFD; lone surrogates the same way back.
std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

// The system's text for a GetLastError() code, without the trailing line break.
std::string systemErrorText(unsigned long code);

}  // namespace quaverly::platform
