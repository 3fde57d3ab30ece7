// UTF-8 and the UTF-16 of the Windows API, both ways: the library's texts are UTF-8,
// the system's are UTF-16. Windows only.
#pragma once

#include <string>
#include <string_view>

namespace tonelink {

// Bytes that are not UTF-8 become U+FFFD; lone surrogates the same way back.
std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

}  // namespace tonelink
