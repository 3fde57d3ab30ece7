// quaverly-cli: the command-line companion of Quaverly. Each subcommand lives in a file
// of its own and is listed in the command table (CommandLine.cpp); the options that
// every command takes (--in, --out, --lang, -v, --json, --help) may stand before or
// after the command name.
#include <iostream>
#include <string_view>
#include <vector>

#include "app/messages/UiStrings.h"
#include "cli/CommandLine.h"
#include "cli/ProgramStart.h"
#include "cli/TerminalMessages.h"

namespace cli = quaverly::cli;

int main(int argc, char** argv) {
  const cli::ProgramStart start = cli::startProgram(argc, argv);
  const std::vector<std::string_view> args(start.arguments.begin(), start.arguments.end());
  cli::CommandLine line = cli::parseCommandLine(args);
  quaverly::setLanguage(line.language ? *line.language : cli::languageFromEnvironment());
  quaverly::setMessagePresenter(cli::terminalPresenter(std::cerr));
  line.options.programDirectory = start.directory;
  return cli::runCommandLine(line, std::cout, std::cerr);
}
