#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

// after windows.h, which it needs
#include <shellapi.h>

#include "app/platform/WindowsText.h"
#include "cli/ProgramStart.h"

namespace quaverly::cli {

namespace {

// The program's own file, however long its path.
std::filesystem::path modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

// The console's code pages as they were, put back when the program ends: the
// console outlives the program.
struct ConsoleCodePages {
  UINT input = GetConsoleCP();
  UINT output = GetConsoleOutputCP();
  ~ConsoleCodePages() {
    if (input != 0) SetConsoleCP(input);
    if (output != 0) SetConsoleOutputCP(output);
  }
};

}  // namespace

ProgramStart startProgram(int, char**) {
  static const ConsoleCodePages previous;
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  ProgramStart start;
  // The narrow argv holds the arguments in the ANSI code page, which cannot hold every
  // file name; the wide command line can.
  int count = 0;
  if (wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) start.arguments.push_back(platform::utf8FromWide(arguments[i]));
    LocalFree(arguments);
  }
  start.directory = modulePath().parent_path();
  return start;
}

}  // namespace quaverly::cli
