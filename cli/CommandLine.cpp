#include "cli/CommandLine.h"

#include <array>

#include "app/messages/UiStrings.h"
#include "cli/ConvertCommand.h"
#include "cli/FreeSpaceCommand.h"
#include "cli/GetCommand.h"
#include "cli/ListCommand.h"
#include "cli/MakeFolderCommand.h"
#include "cli/MoveCommand.h"
#include "cli/OptionValue.h"
#include "cli/PortsCommand.h"
#include "cli/ProbeCommand.h"
#include "cli/PutCommand.h"
#include "cli/RemoveCommand.h"
#include "cli/RemoveFolderCommand.h"
#include "cli/SessionCommand.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

std::array<const Command*, 12> commandTable() {
  return {&convertCommand(),   &portsCommand(),      &probeCommand(),        &listCommand(),
          &freeSpaceCommand(), &getCommand(),        &putCommand(),          &moveCommand(),
          &removeCommand(),    &makeFolderCommand(), &removeFolderCommand(), &sessionCommand()};
}

// Options that belong to a command (get, put, probe and session); they stay among the
// command's arguments, and a value that follows one of them does anyway.
bool isCommandOption(std::string_view arg) {
  const std::string_view name = arg.substr(0, arg.find('='));
  return name == "--to" || name == "--convert" || name == "--yes" || name == "--no" || name == "-q" ||
         name == "--quiet" || name == "--store" || name == "--keep-going" || name == "-c" || name == "-r" ||
         name == "--recursive" || name == "--verify";
}

}  // namespace

void printUsage(std::ostream& stream) {
  stream << "usage: quaverly-cli [OPTIONS] COMMAND [ARGUMENTS]\n"
            "       quaverly-cli COMMAND --help\n\n"
            "Commands:\n";
  for (const Command* command : commandTable())
    stream << "  " << command->synopsis << "\n      " << command->summary << "\n";
  stream << "\nOptions of the device commands (before or after the command):\n"
            "  --in DEVICE, --out DEVICE   MIDI devices: an index or part of a name (see ports)\n"
            "  --lang ja|en                language of the messages\n"
            "  -v                          print every SysEx message in and out\n"
            "  --json                      ls, df, ports, probe: the result as one JSON document\n"
            "  --                          the arguments after it are no options\n"
            "\nOther options:\n"
            "  -h, --help                  show this help and exit\n"
            "  --version                   show the version and exit\n";
}

// Takes the options out wherever they stand; "--" ends them.
CommandLine parseCommandLine(std::span<const std::string_view> args) {
  CommandLine line;
  std::vector<std::string_view> commandOptions;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!optionsEnded && line.words.empty() && isCommandOption(arg)) {
      // Before the command's name: kept for the command, with the value that follows.
      commandOptions.push_back(arg);
      if ((arg == "--to" || arg == "--convert" || arg == "-c") && i + 1 < args.size()) {
        commandOptions.push_back(args[++i]);
      }
      continue;
    }
    if (optionsEnded || !looksLikeOption(arg) || isCommandOption(arg)) {
      line.words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "-v" || arg == "--verbose") {
      line.options.verbose = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      line.help = true;
      continue;
    }
    if (arg == "--version") {
      line.version = true;
      continue;
    }
    if (arg == "--json") {
      line.options.json = true;
      continue;
    }
    // --NAME VALUE or --NAME=VALUE
    static constexpr std::array<std::string_view, 3> kValueOptions{"--in", "--out", "--lang"};
    const OptionValue option = takeOptionValue(args, i, kValueOptions);
    if (!option.ok()) {
      line.error = option.error;
      return line;
    }
    if (option.name == "--in") {
      line.options.inputDevice = std::string(option.value);
    } else if (option.name == "--out") {
      line.options.outputDevice = std::string(option.value);
    } else {
      line.language = parseLanguageCode(option.value);
      if (!line.language) {
        line.error = "--lang takes ja or en, not '" + std::string(option.value) + "'";
        return line;
      }
    }
  }
  if (!line.words.empty()) line.words.insert(line.words.begin() + 1, commandOptions.begin(), commandOptions.end());
  return line;
}

int runCommandLine(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.error.empty()) {
    printFailure(err, line.error);
    return kExitUsageOrFile;
  }
  if (line.version) {
    out << "quaverly-cli " << QUAVERLY_VERSION << "\n";
    return kExitSuccess;
  }
  if (line.words.empty()) {
    if (line.help) {
      printUsage(out);
      return kExitSuccess;
    }
    printUsage(err);
    return kExitUsageOrFile;
  }
  if (line.words[0] == "help") {
    printUsage(out);
    return kExitSuccess;
  }
  for (const Command* command : commandTable()) {
    if (command->name != line.words[0]) continue;
    static constexpr std::array<std::string_view, 1> kHelp{"--help"};
    const std::span<const std::string_view> commandArgs =
        line.help ? std::span<const std::string_view>(kHelp) : std::span(line.words).subspan(1);
    if (line.options.json && !command->writesJson && !line.help) {
      printFailure(err, "--json is for ls, df, ports and probe");
      return kExitUsageOrFile;
    }
    const int status = command->run(commandArgs, line.options, out, err);
    out.flush();
    return status;
  }
  printFailure(err, "unknown command '" + std::string(line.words[0]) + "' (quaverly-cli --help lists them)");
  return kExitUsageOrFile;
}

}  // namespace quaverly::cli
