// One subcommand of quaverly-cli: its name, a line for the overview, and its entry.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace quaverly::cli {

class DeviceSession;

// Exit statuses shared by the commands. Commands that report a result of their own
// (such as the merge status of convert) use its number instead.
inline constexpr int kExitSuccess = 0;
// The instrument refused a command, or a transfer failed.
inline constexpr int kExitRefused = 1;
// Wrong usage, bad input, or files that cannot be read or written; for the device
// commands nothing has been sent to the instrument then.
inline constexpr int kExitUsageOrFile = 2;
// The connection failed, the port library is missing, or a request went unanswered.
inline constexpr int kExitConnection = 3;

// The options that may stand anywhere on the command line.
struct GlobalOptions {
  std::optional<std::string> inputDevice;   // --in: an index or part of a device name
  std::optional<std::string> outputDevice;  // --out
  bool verbose = false;                     // -v: trace every SysEx message
  bool json = false;                        // --json: one JSON document on standard output
  std::filesystem::path programDirectory;   // where quaverly-cli lies
  // Inside `session`: the session's device session, which every command uses instead
  // of opening and connecting its own; none otherwise.
  DeviceSession* sharedSession = nullptr;
};

struct Command {
  std::string_view name;
  std::string_view synopsis;  // "convert IN.mid OUT.mid"
  std::string_view summary;   // one line for the overview
  // Runs with the arguments after the command name (the global options taken out);
  // returns the exit status.
  int (*run)(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
             std::ostream& err);
  // The command can write its result as JSON (--json).
  bool writesJson = false;
};

// True when the arguments ask for the command's own help.
inline bool asksForHelp(std::span<const std::string_view> args) {
  return args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
}

}  // namespace quaverly::cli
