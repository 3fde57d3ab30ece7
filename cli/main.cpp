// quaverly-cli: the command-line companion of Quaverly. Each subcommand lives in a file
// of its own and is listed in the table below.
#include <array>
#include <iostream>
#include <span>
#include <string_view>
#include <vector>

#include "cli/Command.h"
#include "cli/ConvertCommand.h"

namespace {

using quaverly::cli::Command;

std::array<const Command*, 1> commandTable() { return {&quaverly::cli::convertCommand()}; }

void printUsage(std::ostream& stream) {
  stream << "usage: quaverly-cli COMMAND [ARGUMENTS]\n"
            "       quaverly-cli COMMAND --help\n\n"
            "Commands:\n";
  for (const Command* command : commandTable())
    stream << "  " << command->synopsis << "\n      " << command->summary << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.empty()) {
    printUsage(std::cerr);
    return quaverly::cli::kExitUsageOrFile;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    printUsage(std::cout);
    return 0;
  }
  for (const Command* command : commandTable()) {
    if (command->name == args[0]) {
      const int status = command->run(std::span(args).subspan(1), std::cout, std::cerr);
      std::cout.flush();
      return status;
    }
  }
  std::cerr << "quaverly-cli: unknown command '" << args[0] << "'\n";
  printUsage(std::cerr);
  return quaverly::cli::kExitUsageOrFile;
}
