#include <fcntl.h>
#include <io.h>

#include "app/platform/OpenReadOnly.h"

namespace quaverly::platform {

int openReadOnly(const std::filesystem::path& path) {
  return ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

}  // namespace quaverly::platform
