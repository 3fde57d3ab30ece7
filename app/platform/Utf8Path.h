// PC paths meet UTF-8 text here and nowhere else. The program keeps every PC name
// as UTF-8; a path made from a narrow string would take it in the system's ANSI code
// page on Windows, which cannot hold every name, so paths are made from and read
// back as UTF-8 explicitly.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quaverly::platform {

std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8Of(const std::filesystem::path& path);

}  // namespace quaverly::platform
