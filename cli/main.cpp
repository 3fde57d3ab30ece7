// quaverly-cli: the command-line companion of Quaverly. Each subcommand lives in a file
// of its own and is listed in the table below; the options that every command takes
// (--in, --out, --lang, -v, --help) may stand before or after the command name.
#include <array>
#include <filesystem>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/messages/UiStrings.h"
#include "cli/Command.h"
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
#include "cli/TerminalMessages.h"

namespace {

namespace cli = quaverly::cli;
using cli::Command;

std::array<const Command*, 11> commandTable() {
  return {&cli::convertCommand(),    &cli::portsCommand(),       &cli::probeCommand(), &cli::listCommand(),
          &cli::freeSpaceCommand(),
          &cli::getCommand(),        &cli::putCommand(),         &cli::moveCommand(), &cli::removeCommand(),
          &cli::makeFolderCommand(), &cli::removeFolderCommand()};
}

// Options that belong to a command (get, put and probe); they stay among the command's
// arguments, and a value that follows one of them does anyway.
bool isCommandOption(std::string_view arg) {
  const std::string_view name = arg.substr(0, arg.find('='));
  return name == "--to" || name == "--convert" || name == "--yes" || name == "--no" || name == "-q" ||
         name == "--quiet" || name == "--store";
}

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

struct CommandLine {
  cli::GlobalOptions options;
  std::optional<quaverly::Language> language;
  bool help = false;
  bool version = false;
  std::vector<std::string_view> words;  // the command name and its arguments
  std::string error;
};

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
      if ((arg == "--to" || arg == "--convert") && i + 1 < args.size()) commandOptions.push_back(args[++i]);
      continue;
    }
    if (optionsEnded || !cli::looksLikeOption(arg) || isCommandOption(arg)) {
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
    const cli::OptionValue option = cli::takeOptionValue(args, i, kValueOptions);
    if (!option.ok()) {
      line.error = option.error;
      return line;
    }
    if (option.name == "--in") {
      line.options.inputDevice = std::string(option.value);
    } else if (option.name == "--out") {
      line.options.outputDevice = std::string(option.value);
    } else {
      line.language = quaverly::parseLanguageCode(option.value);
      if (!line.language) {
        line.error = "--lang takes ja or en, not '" + std::string(option.value) + "'";
        return line;
      }
    }
  }
  if (!line.words.empty()) line.words.insert(line.words.begin() + 1, commandOptions.begin(), commandOptions.end());
  return line;
}

// The folder quaverly-cli lies in: the port library and the INI file are looked for
// beside it.
std::filesystem::path programDirectory(const char* argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && !self.empty()) return self.parent_path();
  if (!argv0 || !*argv0) return {};
  const std::filesystem::path path = std::filesystem::absolute(argv0, error);
  return error ? std::filesystem::path{} : path.parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  CommandLine line = parseCommandLine(args);

  quaverly::setLanguage(line.language ? *line.language : cli::languageFromEnvironment());
  quaverly::setMessagePresenter(cli::terminalPresenter(std::cerr));

  if (!line.error.empty()) {
    cli::printFailure(std::cerr, line.error);
    return cli::kExitUsageOrFile;
  }
  if (line.version) {
    std::cout << "quaverly-cli " << QUAVERLY_VERSION << "\n";
    return cli::kExitSuccess;
  }
  if (line.words.empty()) {
    if (line.help) {
      printUsage(std::cout);
      return cli::kExitSuccess;
    }
    printUsage(std::cerr);
    return cli::kExitUsageOrFile;
  }
  if (line.words[0] == "help") {
    printUsage(std::cout);
    return cli::kExitSuccess;
  }
  line.options.programDirectory = programDirectory(argc > 0 ? argv[0] : nullptr);
  for (const Command* command : commandTable()) {
    if (command->name != line.words[0]) continue;
    static constexpr std::array<std::string_view, 1> kHelp{"--help"};
    const std::span<const std::string_view> commandArgs =
        line.help ? std::span<const std::string_view>(kHelp) : std::span(line.words).subspan(1);
    if (line.options.json && !command->writesJson && !line.help) {
      cli::printFailure(std::cerr, "--json is for ls, df, ports and probe");
      return cli::kExitUsageOrFile;
    }
    const int status = command->run(commandArgs, line.options, std::cout, std::cerr);
    std::cout.flush();
    return status;
  }
  cli::printFailure(std::cerr, "unknown command '" + std::string(line.words[0]) + "' (quaverly-cli --help lists them)");
  return cli::kExitUsageOrFile;
}
