#include <fcntl.h>

#include "app/platform/OpenReadOnly.h"

namespace quaverly::platform {

int openReadOnly(const std::filesystem::path& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

}  // namespace quaverly::platform
