// quaverly-cli: the command-line companion of Quaverly. Each subcommand lives in a file
// of its own and is listed in the command table (CommandLine.cpp); the options that
// every command takes (--in, --out, --lang, -v, --json, --help) may stand before or
// after the command name.
#include <filesystem>
#include <iostream>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/messages/UiStrings.h"
#include "cli/CommandLine.h"
#include "cli/TerminalMessages.h"

namespace {

namespace cli = quaverly::cli;

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
  cli::CommandLine line = cli::parseCommandLine(args);
  quaverly::setLanguage(line.language ? *line.language : cli::languageFromEnvironment());
  quaverly::setMessagePresenter(cli::terminalPresenter(std::cerr));
  line.options.programDirectory = programDirectory(argc > 0 ? argv[0] : nullptr);
  return cli::runCommandLine(line, std::cout, std::cerr);
}
