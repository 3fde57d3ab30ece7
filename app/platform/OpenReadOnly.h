// Opening a file for reading as a descriptor of the C library, with the path in the
// platform's own form (UTF-16 on Windows), not inherited by child processes and, on
// Windows, in binary mode.
#pragma once

#include <filesystem>

namespace quaverly::platform {

// The descriptor, or -1 with errno set.
int openReadOnly(const std::filesystem::path& path);

}  // namespace quaverly::platform
