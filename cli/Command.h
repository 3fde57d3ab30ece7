// One subcommand of quaverly-cli: its name, a line for the overview, and its entry.
#pragma once

#include <ostream>
#include <span>
#include <string_view>

namespace quaverly::cli {

// Exit status for wrong usage and for files that cannot be read or written. Commands
// that report a result of their own (such as the merge status) use its number instead.
inline constexpr int kExitUsageOrFile = 2;

struct Command {
  std::string_view name;
  std::string_view synopsis;  // "convert IN.mid OUT.mid"
  std::string_view summary;   // one line for the overview
  // Runs with the arguments after the command name; returns the exit status.
  int (*run)(std::span<const std::string_view> args, std::ostream& out, std::ostream& err);
};

}  // namespace quaverly::cli
