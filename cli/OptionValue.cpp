#include "cli/OptionValue.h"

#include <algorithm>

namespace quaverly::cli {

OptionValue takeOptionValue(std::span<const std::string_view> args, std::size_t& at,
                            std::span<const std::string_view> names) {
  OptionValue option;
  if (at >= args.size()) {
    option.error = "option expected";
    return option;
  }
  const std::string_view arg = args[at];
  const std::size_t equals = arg.find('=');
  const std::string_view name = arg.substr(0, equals);
  if (std::find(names.begin(), names.end(), name) == names.end()) {
    option.error = "unknown option '" + std::string(arg) + "'";
    return option;
  }
  if (equals != std::string_view::npos) {
    option.value = arg.substr(equals + 1);
  } else if (at + 1 < args.size()) {
    option.value = args[++at];
  } else {
    option.error = "option " + std::string(name) + " needs a value";
    return option;
  }
  option.name = name;
  return option;
}

}  // namespace quaverly::cli
