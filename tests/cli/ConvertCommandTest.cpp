#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct CliRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

Bytes readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string readText(const fs::path& path) {
  const Bytes bytes = readBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Format 1, two tracks; and what it converts to.
const Bytes kFormat1{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x60,  //
                     0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0B,                                      //
                     0x00, 0x90, 0x3C, 0x64, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,                    //
                     0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x08,                                      //
                     0x30, 0x90, 0x40, 0x64, 0x00, 0xFF, 0x2F, 0x00};
const Bytes kFormat0{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x60,  //
                     0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0E,                                      //
                     0x00, 0x90, 0x3C, 0x64, 0x30, 0x40, 0x64, 0x30, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

class ConvertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quaverly-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    dir_ = root_ / "files";
    fs::create_directory(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }

  // Runs quaverly-cli with `args`; its output streams go to files beside dir_.
  CliRun run(const std::vector<std::string>& args) const {
    const fs::path outFile = root_ / "stdout";
    const fs::path errFile = root_ / "stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all{QUAVERLY_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    CliRun result;
    const int spawned = posix_spawn(&pid, QUAVERLY_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0);
    if (spawned != 0) return result;
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readText(outFile);
    result.err = readText(errFile);
    return result;
  }

  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static int lineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

  fs::path root_;
  fs::path dir_;
};

TEST_F(ConvertCommandTest, ConvertsFormat1AndLeavesTheInputAlone) {
  writeBytes(dir_ / "IN.MID", kFormat1);
  const CliRun r = run({"convert", (dir_ / "IN.MID").string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(readBytes(dir_ / "OUT.MID"), kFormat0);
  EXPECT_EQ(readBytes(dir_ / "IN.MID"), kFormat1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"IN.MID", "OUT.MID"}));

  // An existing output is replaced.
  writeBytes(dir_ / "OUT.MID", Bytes(5000, 0xAA));
  EXPECT_EQ(run({"convert", (dir_ / "IN.MID").string(), (dir_ / "OUT.MID").string()}).exitCode, 0);
  EXPECT_EQ(readBytes(dir_ / "OUT.MID"), kFormat0);
}

TEST_F(ConvertCommandTest, RefusalWritesNothingAndNamesTheReason) {
  Bytes format0 = kFormat1;
  format0[9] = 0x00;
  writeBytes(dir_ / "ZERO.MID", format0);
  CliRun r = run({"convert", (dir_ / "ZERO.MID").string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_NE(r.err.find((dir_ / "ZERO.MID").string()), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("format 0"), std::string::npos) << r.err;

  Bytes format2 = kFormat1;
  format2[9] = 0x02;
  writeBytes(dir_ / "TWO.MID", format2);
  r = run({"convert", (dir_ / "TWO.MID").string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 6);
  EXPECT_NE(r.err.find("format 2"), std::string::npos) << r.err;

  const Bytes truncated(kFormat1.begin(), kFormat1.end() - 1);
  writeBytes(dir_ / "CUT.MID", truncated);
  r = run({"convert", (dir_ / "CUT.MID").string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_EQ(lineCount(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("not a well-formed Standard MIDI File"), std::string::npos) << r.err;

  EXPECT_EQ(entries(), (std::vector<std::string>{"CUT.MID", "TWO.MID", "ZERO.MID"}));
  EXPECT_EQ(readBytes(dir_ / "CUT.MID"), truncated);

  // An existing output stays as it was.
  writeBytes(dir_ / "OUT.MID", Bytes{1, 2, 3});
  EXPECT_EQ(run({"convert", (dir_ / "CUT.MID").string(), (dir_ / "OUT.MID").string()}).exitCode, 5);
  EXPECT_EQ(readBytes(dir_ / "OUT.MID"), (Bytes{1, 2, 3}));
}

TEST_F(ConvertCommandTest, UnreadableInputIsExit2) {
  CliRun r = run({"convert", (dir_ / "MISSING.MID").string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find((dir_ / "MISSING.MID").string()), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;

  r = run({"convert", dir_.string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("directory"), std::string::npos) << r.err;
  EXPECT_TRUE(entries().empty());
}

TEST_F(ConvertCommandTest, FileOfFourGibibytesIsRefused) {
  // Sparse, so it costs no disk space; it must be refused before it is read.
  const fs::path huge = dir_ / "HUGE.MID";
  writeBytes(huge, kFormat1);
  fs::resize_file(huge, 0x100000000ull);
  const CliRun r = run({"convert", huge.string(), (dir_ / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("too large"), std::string::npos) << r.err;
  EXPECT_EQ(entries(), std::vector<std::string>{"HUGE.MID"});
}

TEST_F(ConvertCommandTest, UnwritableOutputIsExit2) {
  writeBytes(dir_ / "IN.MID", kFormat1);
  const std::string in = (dir_ / "IN.MID").string();

  CliRun r = run({"convert", in, (dir_ / "no-folder" / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find((dir_ / "no-folder" / "OUT.MID").string()), std::string::npos) << r.err;

  r = run({"convert", in, (dir_ / "IN.MID" / "OUT.MID").string()});
  EXPECT_EQ(r.exitCode, 2);

  if (::geteuid() != 0) {  // permissions do not stop root
    fs::permissions(dir_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    r = run({"convert", in, (dir_ / "OUT.MID").string()});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Permission denied"), std::string::npos) << r.err;
    fs::permissions(dir_, fs::perms::owner_write, fs::perm_options::add);
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"IN.MID"});
  EXPECT_EQ(readBytes(dir_ / "IN.MID"), kFormat1);
}

TEST_F(ConvertCommandTest, OutputThatIsTheInputIsRefused) {
  writeBytes(dir_ / "IN.MID", kFormat1);
  fs::create_symlink(dir_ / "IN.MID", dir_ / "LINK.MID");
  for (const char* out : {"IN.MID", "LINK.MID"}) {
    const CliRun r = run({"convert", (dir_ / "IN.MID").string(), (dir_ / out).string()});
    EXPECT_EQ(r.exitCode, 2) << out;
    EXPECT_EQ(readBytes(dir_ / "IN.MID"), kFormat1);
  }
  EXPECT_EQ(entries(), (std::vector<std::string>{"IN.MID", "LINK.MID"}));
}

TEST_F(ConvertCommandTest, UsageErrorsAreExit2AndHelpIsExit0) {
  CliRun r = run({});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("usage:"), std::string::npos);

  r = run({"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("convert IN.mid OUT.mid"), std::string::npos) << r.out;

  r = run({"convert", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("usage: quaverly-cli convert"), std::string::npos) << r.out;

  EXPECT_EQ(run({"convert"}).exitCode, 2);
  EXPECT_EQ(run({"convert", "a.mid"}).exitCode, 2);
  EXPECT_EQ(run({"convert", "a.mid", "b.mid", "c.mid"}).exitCode, 2);
  r = run({"transmogrify"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("unknown command 'transmogrify'"), std::string::npos) << r.err;
}

}  // namespace
