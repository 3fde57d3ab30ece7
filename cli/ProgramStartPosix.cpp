#include <system_error>

#include "cli/ProgramStart.h"

namespace quaverly::cli {

namespace {

std::filesystem::path programDirectory(const char* argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error && !self.empty()) return self.parent_path();
  if (!argv0 || !*argv0) return {};
  const std::filesystem::path path = std::filesystem::absolute(argv0, error);
  return error ? std::filesystem::path{} : path.parent_path();
}

}  // namespace

ProgramStart startProgram(int argc, char** argv) {
  ProgramStart start;
  for (int i = 1; i < argc; ++i) start.arguments.emplace_back(argv[i]);
  start.directory = programDirectory(argc > 0 ? argv[0] : nullptr);
  return start;
}

}  // namespace quaverly::cli
