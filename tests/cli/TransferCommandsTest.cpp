// quaverly-cli get and put against the virtual instrument: what moves, the questions
// answered by --yes and --no (or Cancel without a terminal), the progress lines,
// the exit statuses and Ctrl-C.
#include "tests/cli/CliDeviceTest.h"

namespace quaverly::clitest {
namespace {

// A Standard MIDI File of format 1 with two tracks whose notes fall on the same
// times, so that the format 0 file differs from it.
const std::string kFormat1 = std::string("MThd\0\0\0\6\0\1\0\2\0\x60", 14) +
                             std::string("MTrk\0\0\0\x0b\0\x90\x3c\x40\x10\x3c\0\0\xff\x2f\0", 19) +
                             std::string("MTrk\0\0\0\x0b\0\x91\x40\x40\x10\x40\0\0\xff\x2f\0", 19);

class TransferCommandsTest : public CliDeviceTest {
 protected:
  fs::path pc(const std::string& name) const { return root_ / "pc" / name; }
};

TEST_F(TransferCommandsTest, PutAndGetMoveFilesByteForByte) {
  std::string big;
  for (int i = 0; i < 3000; ++i) big += static_cast<char>((i * 7) & 0xFF);
  writeText(pc("BIG.BIN"), big);
  writeText(pc("TINY.TXT"), "x");
  writeText(pc("EMPTY.DAT"), "");

  CliRun r = runOnInstrument(
      {"put", "--to", "POPS", pc("BIG.BIN").string(), pc("TINY.TXT").string(), pc("EMPTY.DAT").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readText(memory_ / "POPS" / "BIG.BIN"), big);
  EXPECT_EQ(readText(memory_ / "POPS" / "TINY.TXT"), "x");
  EXPECT_TRUE(fs::exists(memory_ / "POPS" / "EMPTY.DAT"));
  EXPECT_NE(r.err.find("Transmission has been completed."), std::string::npos) << r.err;
  // Standard error is no terminal: the progress comes as plain lines.
  EXPECT_NE(r.err.find("BIG.BIN"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);

  fs::create_directories(root_ / "back");
  r = runOnInstrument(
      {"-q", "get", "--to", (root_ / "back").string(), "0:\\POPS\\BIG.BIN", "pops/tiny.txt", "POPS/EMPTY.DAT"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readText(root_ / "back" / "BIG.BIN"), big);
  EXPECT_EQ(readText(root_ / "back" / "TINY.TXT"), "x");
  EXPECT_EQ(readText(root_ / "back" / "EMPTY.DAT"), "");
  // -q: the end message only.
  EXPECT_EQ(reportLines(r.err), std::vector<std::string>{"quaverly-cli: Reception has been completed."});
}

TEST_F(TransferCommandsTest, QuestionsAreAnsweredByYesNoOrCancel) {
  writeText(pc("SONG1.MID"), "new");

  // No terminal and neither --yes nor --no: Cancel, nothing changes.
  CliRun r = runOnInstrument({"put", pc("SONG1.MID").string()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("no terminal"), std::string::npos) << r.err;
  EXPECT_EQ(readText(memory_ / "SONG1.MID").size(), 100u);

  r = runOnInstrument({"put", "--no", pc("SONG1.MID").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readText(memory_ / "SONG1.MID").size(), 100u);

  r = runOnInstrument({"put", "--yes", pc("SONG1.MID").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readText(memory_ / "SONG1.MID"), "new");

  // The same on the PC side: --no keeps the PC file.
  writeText(pc("SONG2.MID"), "mine");
  r = runOnInstrument({"get", "--no", "--to", pc("").string(), "SONG2.MID"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readText(pc("SONG2.MID")), "mine");
}

TEST_F(TransferCommandsTest, ConvertOptionOverridesTheSetting) {
  writeText(pc("A.MID"), kFormat1);
  CliRun r = runOnInstrument({"put", "--convert", "always", pc("A.MID").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string converted = readText(memory_ / "A.MID");
  EXPECT_TRUE(converted.starts_with(std::string("MThd\0\0\0\6\0\0\0\1", 12))) << "not format 0";

  r = runOnInstrument({"put", "--yes", "--convert=never", pc("A.MID").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(readText(memory_ / "A.MID"), kFormat1);
}

TEST_F(TransferCommandsTest, ExitStatuses) {
  writeText(pc("OK.MID"), "1");
  // Wrong usage and bad files end before anything is sent.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"get"},
           {"put"},
           {"put", "--yes", "--no", pc("OK.MID").string()},
           {"put", "--convert", "sometimes", pc("OK.MID").string()},
           {"put", pc("MISSING.MID").string()},
           {"put", pc("").string()},
           {"get", "--to", (root_ / "nowhere").string(), "SONG1.MID"},
           {"get", "0:"},
           {"get", "--yes", "--to", pc("").string(), "0:\\A\\X.MID", "B/x.mid"},
       }) {
    writeText(pc("LONGNAME.MIDI"), "1");
    const CliRun r = runOnInstrument(args);
    EXPECT_EQ(r.exitCode, 2) << args.back() << "\n" << r.err;
    EXPECT_FALSE(sentAnything(r.err));
  }
  CliRun r = runOnInstrument({"get", "--to", pc("").string(), "SONG1.MID", "POPS/SONG1.MID"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("both are named SONG1.MID"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(pc("SONG1.MID")));
  r = runOnInstrument({"put", pc("LONGNAME.MIDI").string()});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("8.3"), std::string::npos) << r.err;

  // A file the instrument does not have, a folder, a destination that is missing.
  r = runOnInstrument({"get", "--to", pc("").string(), "NOSUCH.MID"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("Can't find \"0:\\NOSUCH.MID\""), std::string::npos) << r.err;
  r = runOnInstrument({"get", "--to", pc("").string(), "POPS"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  r = runOnInstrument({"put", "--to", "NOWHERE", pc("OK.MID").string()});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_FALSE(fs::exists(memory_ / "OK.MID"));
}

// Every file below `folder` as "RELATIVE/PATH=CONTENTS", and every folder as "RELATIVE/".
std::vector<std::string> treeOf(const fs::path& folder) {
  std::vector<std::string> result;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string relative = fs::relative(entry.path(), folder).generic_string();
    result.push_back(entry.is_directory() ? relative + "/" : relative + "=" + readText(entry.path()));
  }
  std::sort(result.begin(), result.end());
  return result;
}

TEST_F(TransferCommandsTest, AWholeTreeGoesBothWaysByteForByteWithItsStructure) {
  std::string song;
  for (int i = 0; i < 700; ++i) song += static_cast<char>((i * 13) & 0xFF);
  writeText(memory_ / "POPS" / "OLD" / "DEEP" / "C.MID", song);
  fs::permissions(memory_ / "LOCKED.MID", fs::perms::owner_write, fs::perm_options::add);
  const std::vector<std::string> original = treeOf(memory_);

  const fs::path back = root_ / "back";
  fs::create_directories(back);
  CliRun r = runOnInstrument({"get", "-r", "--to", back.string(), "0:"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(treeOf(back), original);
  // One progress for the whole batch: its total is every file's bytes (4360).
  EXPECT_NE(r.err.find("/ 4.3 KiB"), std::string::npos) << r.err;

  // Into an empty instrument: each entry of the backup, as the shell's * gives them.
  fs::remove_all(memory_);
  fs::create_directories(memory_);
  writeFile(memory_ / "KEEP.MID", 1);  // not empty, or the demo songs would come
  std::vector<std::string> put{"put", "-r", "--verify"};
  for (const std::string& name : entries(back)) put.push_back((back / name).string());
  r = runOnInstrument(put);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  fs::remove(memory_ / "KEEP.MID");
  EXPECT_EQ(treeOf(memory_), original);
  EXPECT_NE(r.err.find("(reading back)"), std::string::npos) << r.err;
}

TEST_F(TransferCommandsTest, TreeTransfersRefuseBeforeAnythingMoves) {
  // Names the instrument cannot hold: every one is listed, nothing is sent.
  writeText(pc("LIB/GOOD.MID"), "g");
  writeText(pc("LIB/longfilename.mid"), "l");
  writeText(pc("LIB/my songs/A.MID"), "a");
  CliRun r = runOnInstrument({"-v", "put", "-r", pc("LIB").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(reportLines(r.err).size(), 2u) << r.err;
  EXPECT_FALSE(sentAnything(r.err)) << r.err;
  EXPECT_FALSE(fs::exists(memory_ / "LIB"));

  // Two instrument names that become one PC name.
  writeFile(memory_ / "POPS" / "a.mid", 5);
  const fs::path back = root_ / "back";
  fs::create_directories(back);
  r = runOnInstrument({"get", "-r", "--to", back.string(), "POPS"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("their names are the same"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(back));
  fs::remove(memory_ / "POPS" / "a.mid");

  // A folder of the tree whose place on the PC is a link to somewhere else.
  const fs::path outside = root_ / "outside";
  fs::create_directories(outside);
  fs::create_directory_symlink(outside, back / "POPS");
  r = runOnInstrument({"get", "-r", "--to", back.string(), "POPS"});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("it is not a folder"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(outside));

  // Without -r a folder is refused with a hint.
  r = runOnInstrument({"get", "--to", back.string(), "POPS"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("(get -r receives folders)"), std::string::npos) << r.err;
}

TEST_F(TransferCommandsTest, CtrlCCancelsTheTransferAndRemovesTheHalfWrittenFile) {
  // About 25 s at the default pacing of 256 bytes every 100 ms.
  writeText(pc("FIRST.MID"), "1");
  writeText(pc("BIG.BIN"), std::string(60000, 'b'));
  const pid_t pid = start(onInstrument({"put", pc("FIRST.MID").string(), pc("BIG.BIN").string()}));
  // Wait until the big file has begun to move.
  const auto giveUp = std::chrono::steady_clock::now() + kWatchdog;
  while (readText(root_ / "stderr").find("BIG.BIN") == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGINT);
  const CliRun r = finish(pid);
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.err.find("Transmission has been canceled."), std::string::npos) << r.err;
  EXPECT_EQ(readText(memory_ / "FIRST.MID"), "1");
  EXPECT_FALSE(fs::exists(memory_ / "BIG.BIN"));
}

}  // namespace
}  // namespace quaverly::clitest
