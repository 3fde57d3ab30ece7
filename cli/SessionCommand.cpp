#include "cli/SessionCommand.h"

#include <array>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/messages/UiStrings.h"
#include "cli/CommandLine.h"
#include "cli/DeviceCommand.h"
#include "cli/OptionValue.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "session [--keep-going] [-c COMMANDS]",
    .description =
        "Runs many commands over one connection to the instrument: the lines of standard\n"
        "input, or COMMANDS, one command a line or separated by ';', each written as after\n"
        "'quaverly-cli' (with quotes \"...\" or '...' around a word with spaces), with the same\n"
        "output and questions. '#' starts a comment. The connection is checked once, when a\n"
        "command first needs the instrument. The devices are the session's: --in and --out\n"
        "go before 'session'. probe and session cannot run inside a session. The session stops\n"
        "at the first command that fails, and its exit status is that command's.\n",
    .optionHelp = "  --keep-going  go on after a failed command; the exit status is still the first\n"
                  "                failure's\n"
                  "  -c COMMANDS   the commands, instead of standard input\n",
};

// The commands of a script: each line, or part of a line between ';', split into
// words. Quotes group a word and are taken away; '#' outside quotes ends the line.
// A quote left open is an error.
struct Script {
  std::vector<std::vector<std::string>> commands;
  std::string error;
};

Script splitScript(std::string_view text) {
  Script script;
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  bool comment = false;
  const auto endWord = [&] {
    if (inWord) words.push_back(std::move(word));
    word.clear();
    inWord = false;
  };
  const auto endCommand = [&] {
    endWord();
    if (!words.empty()) script.commands.push_back(std::move(words));
    words.clear();
  };
  for (const char c : text) {
    if (comment) {
      if (c == '\n') {
        comment = false;
        endCommand();
      }
      continue;
    }
    if (quote) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == '#') {
      comment = true;
    } else if (c == '\n' || c == ';') {
      endCommand();
    } else if (c == ' ' || c == '\t' || c == '\r') {
      endWord();
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote) {
    script.error = std::string("a quote ") + quote + " is not closed";
    return script;
  }
  endCommand();
  return script;
}

int runSession(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
               std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  if (options.sharedSession) {
    printFailure(err, "a session cannot run inside a session");
    return kExitUsageOrFile;
  }
  bool keepGoing = false;
  std::optional<std::string> commands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--keep-going") {
      keepGoing = true;
      continue;
    }
    static constexpr std::array<std::string_view, 1> kValueOptions{"-c"};
    const OptionValue option = takeOptionValue(args, i, kValueOptions);
    if (!option.ok()) {
      printFailure(err, option.error.empty() ? "unknown argument '" + std::string(args[i]) + "'" : option.error);
      return kExitUsageOrFile;
    }
    commands = std::string(option.value);
  }
  if (!commands) commands = std::string(std::istreambuf_iterator<char>(std::cin), {});
  const Script script = splitScript(*commands);
  if (!script.error.empty()) {
    printFailure(err, script.error);
    return kExitUsageOrFile;
  }

  DeviceSession shared(options, err);
  int firstFailure = kExitSuccess;
  for (const std::vector<std::string>& command : script.commands) {
    const std::vector<std::string_view> words(command.begin(), command.end());
    CommandLine line = parseCommandLine(words);
    if (line.error.empty() && (line.options.inputDevice || line.options.outputDevice)) {
      line.error = "--in and --out go before 'session': its commands share its devices";
    } else if (line.error.empty() && !line.words.empty() &&
               (line.words[0] == "probe" || line.words[0] == "session")) {
      line.error = std::string(line.words[0]) + " cannot run inside a session";
    }
    line.options.inputDevice = options.inputDevice;
    line.options.outputDevice = options.outputDevice;
    line.options.verbose = line.options.verbose || options.verbose;
    line.options.programDirectory = options.programDirectory;
    line.options.sharedSession = &shared;
    if (line.language) setLanguage(*line.language);
    const int status = runCommandLine(line, out, err);
    if (status == kExitSuccess) continue;
    if (firstFailure == kExitSuccess) firstFailure = status;
    if (!keepGoing) break;
  }
  return firstFailure;
}

const Command kSession{"session", kUsage.synopsis, "run many commands over one connection to the instrument",
                       runSession};

}  // namespace

const Command& sessionCommand() { return kSession; }

}  // namespace quaverly::cli
