// Runs the built quaverly-cli as a separate process against the virtual instrument
// that the built Tonelink library offers. The instrument keeps its memory in a
// temporary folder of each test, and the settings are looked for in temporary
// folders, so that nothing of the user's leaks in and tests can run side by side.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quaverly::clitest {

namespace fs = std::filesystem;

// Longer than any command here takes (the slowest searches six device numbers);
// only a hung process meets it.
inline constexpr auto kWatchdog = std::chrono::seconds(90);

inline constexpr std::string_view kConfirming = "Confirming connections...";

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const fs::path& path, std::size_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << std::string(size, 'x');
}

inline void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline int count(const std::string& text, std::string_view what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// The lines of standard error that report something: not the wait text, the trace
// or the -v notes.
inline std::vector<std::string> reportLines(const std::string& err) {
  std::vector<std::string> lines;
  for (const std::string& line : linesOf(err)) {
    if (line == kConfirming || line.starts_with("[") || line.starts_with("#")) continue;
    lines.push_back(line);
  }
  return lines;
}

inline bool sentAnything(const std::string& err) { return err.find("] out F0") != std::string::npos; }

class CliDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quaverly-cli-device-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    memory_ = root_ / "instrument";
    // A drive of its own; not empty, or the instrument would put its demo songs on it.
    writeFile(memory_ / "SONG1.MID", 100);
    writeFile(memory_ / "SONG2.MID", 2000);
    writeFile(memory_ / "POPS" / "A.MID", 1500);
    writeFile(memory_ / "POPS" / "B.MID", 10);
    fs::create_directories(memory_ / "EMPTY");
    writeFile(memory_ / "LOCKED.MID", 50);
    fs::permissions(memory_ / "LOCKED.MID", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::create_directories(root_ / "config");
    fs::create_directories(root_ / "config-dirs");

    environment_ = {
        {"QUAVERLY_INSTRUMENT_DIR", memory_.string()},
        {"XDG_CONFIG_HOME", (root_ / "config").string()},
        {"XDG_CONFIG_DIRS", (root_ / "config-dirs").string()},
        {"XDG_DATA_HOME", (root_ / "data").string()},
        {"HOME", root_.string()},
        {"LANG", "C"},
    };
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // The whole environment for the child: ours without the variables that choose the
  // instrument, the settings or the language, then the test's.
  std::vector<std::string> childEnvironment() const {
    std::vector<std::string> result;
    for (char** variable = environ; *variable; ++variable) {
      const std::string_view entry(*variable);
      const std::string name(entry.substr(0, entry.find('=')));
      if (name.starts_with("QUAVERLY_") || name.starts_with("XDG_") || name.starts_with("LC_") || name == "LANG" ||
          name == "LANGUAGE" || name == "HOME") {
        continue;
      }
      result.emplace_back(entry);
    }
    for (const auto& [name, value] : environment_) result.push_back(name + "=" + value);
    return result;
  }

  // Starts quaverly-cli with `args`, its standard output and error going to files;
  // standard input is not a terminal.
  pid_t start(const std::vector<std::string>& args) const {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (root_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (root_ / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all{QUAVERLY_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables = childEnvironment();
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, QUAVERLY_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    return spawned == 0 ? pid : -1;
  }

  // Waits for a started quaverly-cli, for kWatchdog at most, and collects its output.
  CliRun finish(pid_t pid) const {
    CliRun result;
    if (pid < 0) return result;
    int status = 0;
    const auto giveUp = std::chrono::steady_clock::now() + kWatchdog;
    for (;;) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0 || std::chrono::steady_clock::now() > giveUp) {
        ADD_FAILURE() << "quaverly-cli did not end within the watchdog's time";
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readText(root_ / "stdout");
    result.err = readText(root_ / "stderr");
    return result;
  }

  CliRun run(const std::vector<std::string>& args) const { return finish(start(args)); }

  // The instrument chosen by its name, in the options every device command takes.
  static std::vector<std::string> onInstrument(std::vector<std::string> args) {
    args.insert(args.end(), {"--in", "quaverly virtual instrument", "--out=Quaverly Virtual INSTRUMENT"});
    return args;
  }

  // The same with the virtual instrument chosen by its name, in any letter case. A
  // whole name wins over other names that contain it (such as the port of a running
  // quaverly-instrument tool).
  CliRun runOnInstrument(std::vector<std::string> args) const { return run(onInstrument(std::move(args))); }

  // The index of the virtual instrument in a `ports` listing section, or -1.
  static int virtualIndex(const std::string& out, std::string_view heading) {
    const std::size_t start = out.find(heading);
    if (start == std::string::npos) return -1;
    static const std::regex line(R"(^[* ] (\d+)  Quaverly Virtual Instrument$)");
    for (const std::string& text : linesOf(out.substr(start))) {
      std::smatch match;
      if (std::regex_match(text, match, line)) return std::stoi(match[1]);
      if (text.ends_with(":") && text.find(heading) == std::string::npos) break;  // the next section
    }
    return -1;
  }

  std::vector<std::string> entries(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
  fs::path memory_;
  std::map<std::string, std::string> environment_;
};

}  // namespace quaverly::clitest
