// Options that take a value, written "--NAME VALUE" or "--NAME=VALUE": the options
// every command takes (--in, --out, --lang) and those of get and put (--to,
// --convert) are read the same way.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace quaverly::cli {

// True for an argument that stands for an option: '-' and at least one more
// character ("-" alone is an operand).
inline bool looksLikeOption(std::string_view arg) { return arg.size() > 1 && arg[0] == '-'; }

struct OptionValue {
  std::string_view name;   // the option's name as given, without "=VALUE"
  std::string_view value;  // may be empty ("--to=")
  std::string error;       // the line that says why not; name and value are then empty

  bool ok() const { return error.empty(); }
};

// Reads the option args[at], whose name (the text before the first '=') must be one
// of `names`. The value is the text after '=', or else the next argument; `at` then
// moves onto that argument. Refused: a name not among `names` ("unknown option
// '--x'"), and a name without '=' that stands last ("option --to needs a value").
OptionValue takeOptionValue(std::span<const std::string_view> args, std::size_t& at,
                            std::span<const std::string_view> names);

}  // namespace quaverly::cli
