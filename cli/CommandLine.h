// One command line of quaverly-cli: the options that may stand anywhere taken out,
// the command's name and arguments kept, and the command run. The program runs its
// own command line this way, and `session` each of its lines.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/messages/MessageCatalogue.h"
#include "cli/Command.h"

namespace quaverly::cli {

struct CommandLine {
  GlobalOptions options;
  std::optional<Language> language;
  bool help = false;
  bool version = false;
  std::vector<std::string_view> words;  // the command name and its arguments
  std::string error;
};

// Takes the options out wherever they stand; "--" ends them. The views point into
// `args`.
CommandLine parseCommandLine(std::span<const std::string_view> args);

// The overview of every command and option.
void printUsage(std::ostream& stream);

// Runs what a parsed line asks for: its error, the version, the overview, or the
// command it names, with the line's options. The exit status.
int runCommandLine(const CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace quaverly::cli
