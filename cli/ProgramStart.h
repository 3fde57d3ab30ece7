// What quaverly-cli takes from the system as it starts: its arguments as UTF-8 and
// the folder it lies in (the port library and the INI file are looked for beside
// it). On Windows the console is also switched to UTF-8 both ways, so that names in
// Japanese are shown and typed as they are.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quaverly::cli {

struct ProgramStart {
  std::vector<std::string> arguments;  // without the program's own name
  std::filesystem::path directory;
};

ProgramStart startProgram(int argc, char** argv);

}  // namespace quaverly::cli
