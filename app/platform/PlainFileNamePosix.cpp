#include "app/platform/PlainFileName.h"

namespace quaverly::platform {

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace quaverly::platform
