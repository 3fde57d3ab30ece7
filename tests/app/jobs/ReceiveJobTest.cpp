// The receive job against the virtual instrument: what is asked, what is transferred,
// what is left on the PC, and the one message at the end.
#include <sys/stat.h>

#include "app/jobs/ReceiveJob.h"
#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "tests/app/jobs/JobTestSupport.h"

namespace quaverly::jobtest {
namespace {

using platform::pathFromUtf8;
using protocol::SysexId;

constexpr int kNameUsed = 7;
constexpr int kNoRoom = 11;
constexpr int kCompleted = 14;
constexpr int kCancelled = 15;
constexpr int kFailed = 16;
constexpr int kOverwrite = 33;

class ReceiveJobTest : public JobTest {
 protected:
  ReceiveJobTest() : JobTest(options()) {}

  static instrument::InstrumentOptions options() {
    instrument::InstrumentOptions o = LinkHarness::fastOptions();
    o.faults = faults_;
    return o;
  }

  // Files on the instrument's drive, then the request for the named ones, in order.
  ReceiveRequest request(std::initializer_list<std::string> names) {
    tree_.listFolder(nullptr);
    ReceiveRequest r{pcFolder_.string(), &tree_, {}};
    for (const std::string& name : names) {
      FolderNode* node = tree_.findByPath("0:\\" + name);
      EXPECT_NE(node, nullptr) << name;
      r.receiveFiles.push_back(node);
    }
    return r;
  }

  JobOutcome run(const ReceiveRequest& r) {
    JobEnvironment e = environment();
    return runReceiveJob(r, e);
  }

  static inline instrument::Faults faults_;
};

TEST_F(ReceiveJobTest, ReceivesEveryFileByteForByteAndRemembersTheFolder) {
  const Bytes a = linktest::patternBytes(3000, 1);
  const Bytes b = linktest::patternBytes(1, 2);
  harness_.addFile({"A.MID"}, a);
  harness_.addFile({"B.MID"}, b);
  harness_.addFile({"EMPTY.MID"}, {});
  const JobOutcome outcome = run(request({"A.MID", "B.MID", "EMPTY.MID"}));

  EXPECT_EQ(outcome.end, JobEnd::Completed);
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), a);
  EXPECT_EQ(readPcFile(pcFolder_ / "B.MID"), b);
  EXPECT_EQ(readPcFile(pcFolder_ / "EMPTY.MID"), Bytes{});
  EXPECT_EQ(shownNumbers(), std::vector<int>{kCompleted});
  EXPECT_EQ(outcome.folder, pcFolder_.string());
  EXPECT_EQ(display_.kinds, std::vector<TransferKind>{TransferKind::Receive});
  EXPECT_EQ(display_.displaysOpen, 0);  // closed before the end message
  EXPECT_EQ(sentCount(SysexId::Finished), 3);
  EXPECT_EQ(sentCount(SysexId::Error), 0);
}

TEST_F(ReceiveJobTest, OverwriteQuestionAnswers) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(10, 1));
  harness_.addFile({"B.MID"}, linktest::patternBytes(20, 2));
  harness_.addFile({"C.MID"}, linktest::patternBytes(30, 3));
  const Bytes old = {1, 2, 3};

  // No for every existing file: nothing moves and nothing is said at the end.
  writePcFile(pcFolder_ / "A.MID", old);
  writePcFile(pcFolder_ / "B.MID", old);
  answer({MessageResult::No, MessageResult::No});
  EXPECT_EQ(run(request({"A.MID", "B.MID"})).end, JobEnd::NothingToDo);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kOverwrite, kOverwrite}));
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), old);
  EXPECT_EQ(sentCount(SysexId::FileRequest), 0);

  // Yes to All replaces this and every later file without asking again; No skips one.
  writePcFile(pcFolder_ / "C.MID", old);
  answer({MessageResult::No, MessageResult::YesToAll});
  EXPECT_EQ(run(request({"A.MID", "B.MID", "C.MID"})).end, JobEnd::Completed);
  EXPECT_EQ(questionsAsked(), 4);
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), old);
  EXPECT_EQ(readPcFile(pcFolder_ / "B.MID"), linktest::patternBytes(20, 2));
  EXPECT_EQ(readPcFile(pcFolder_ / "C.MID"), linktest::patternBytes(30, 3));

  // Cancel ends the job before anything moves.
  answer({MessageResult::Cancel});
  EXPECT_EQ(run(request({"A.MID"})).end, JobEnd::Declined);
  EXPECT_EQ(sentCount(SysexId::FileRequest), 2);
}

TEST_F(ReceiveJobTest, AFolderOfTheSameNameStopsTheJobEvenAfterYesToAll) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(10, 1));
  harness_.addFile({"B.MID"}, linktest::patternBytes(10, 2));
  writePcFile(pcFolder_ / "A.MID", {9});
  fs::create_directory(pcFolder_ / "B.MID");
  answer({MessageResult::YesToAll});

  EXPECT_EQ(run(request({"A.MID", "B.MID"})).end, JobEnd::Refused);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kOverwrite, kNameUsed}));
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), Bytes{9});
  EXPECT_EQ(sentCount(SysexId::FileRequest), 0);
}

TEST_F(ReceiveJobTest, AReadOnlyPcFileTheUserAgreedToReplaceIsReplaced) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(100, 1));
  writePcFile(pcFolder_ / "A.MID", {1});
  fs::permissions(pcFolder_ / "A.MID", fs::perms::owner_read | fs::perms::group_read);
  answer({MessageResult::Yes});

  EXPECT_EQ(run(request({"A.MID"})).end, JobEnd::Completed);
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), linktest::patternBytes(100, 1));
  EXPECT_NE(fs::status(pcFolder_ / "A.MID").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(ReceiveJobTest, ABatchLargerThanTheFreeSpaceIsRefusedBeforeAnyTransfer) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(100, 1));
  harness_.addFile({"B.MID"}, linktest::patternBytes(100, 2));
  freeSpace_ = [](const fs::path&) { return std::optional<std::uint64_t>(150); };  // the first would fit

  EXPECT_EQ(run(request({"A.MID", "B.MID"})).end, JobEnd::Refused);
  ASSERT_EQ(shownNumbers(), std::vector<int>{kNoRoom});
  EXPECT_NE(shown().front().text.find("A.MID"), std::string::npos);
  EXPECT_TRUE(display_.kinds.empty());
  EXPECT_EQ(sentCount(SysexId::FileRequest), 0);
  EXPECT_EQ(sentCount(SysexId::Error), 1);
  EXPECT_FALSE(fs::exists(pcFolder_ / "A.MID"));

  // A free-space query that fails counts as no room.
  freeSpace_ = [](const fs::path&) { return std::optional<std::uint64_t>(); };
  EXPECT_EQ(run(request({"A.MID"})).end, JobEnd::Refused);
}

TEST_F(ReceiveJobTest, RoomRunningOutMidwayKeepsTheFilesBefore) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(100, 1));
  harness_.addFile({"B.MID"}, linktest::patternBytes(100, 2));
  // Enough for the batch at the check, then only for the first file.
  std::atomic<int> queries{0};
  freeSpace_ = [&queries](const fs::path&) { return std::optional<std::uint64_t>(++queries <= 2 ? 1000 : 50); };

  EXPECT_EQ(run(request({"A.MID", "B.MID"})).end, JobEnd::Failed);
  EXPECT_EQ(shownNumbers(), std::vector<int>{kNoRoom});
  EXPECT_NE(shown().back().text.find("B.MID"), std::string::npos);
  EXPECT_TRUE(fs::exists(pcFolder_ / "A.MID"));
  EXPECT_FALSE(fs::exists(pcFolder_ / "B.MID"));
}

class ReceiveJobSizeMismatchTest : public ReceiveJobTest {
 protected:
  static void SetUpTestSuite() { faults_ = {}, faults_.sizeError = 1; }
  static void TearDownTestSuite() { faults_ = {}; }
};

TEST_F(ReceiveJobSizeMismatchTest, ASizeOtherThanListedEndsWithFailureAndKeepsTheOldPcFile) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(100, 1));
  const Bytes old = {7, 7, 7};
  writePcFile(pcFolder_ / "A.MID", old);
  answer({MessageResult::Yes});

  const JobOutcome outcome = run(request({"A.MID"}));
  EXPECT_EQ(outcome.end, JobEnd::Failed);
  EXPECT_EQ(outcome.failure, protocol::kLinkRefused);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kOverwrite, kFailed}));
  EXPECT_EQ(sentCount(SysexId::Error), 1);
  EXPECT_EQ(sentCount(SysexId::Finished), 0);
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), old);
}

class ReceiveJobBlockErrorTest : public ReceiveJobTest {
 protected:
  static void SetUpTestSuite() { faults_ = {}, faults_.corruptChecksumBlock = 3; }
  static void TearDownTestSuite() { faults_ = {}; }
};

TEST_F(ReceiveJobBlockErrorTest, ABadBlockLeavesTheEarlierFilesAndNoPartOfTheCurrentOne) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(100, 1));  // one block
  harness_.addFile({"B.MID"}, linktest::patternBytes(2000, 2));
  const Bytes old = {5};
  writePcFile(pcFolder_ / "B.MID", old);
  answer({MessageResult::Yes});

  EXPECT_EQ(run(request({"A.MID", "B.MID"})).end, JobEnd::Failed);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kOverwrite, kFailed}));
  EXPECT_EQ(readPcFile(pcFolder_ / "A.MID"), linktest::patternBytes(100, 1));
  EXPECT_EQ(readPcFile(pcFolder_ / "B.MID"), old);
  // Nothing but the two files: no temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(pcFolder_), fs::directory_iterator()), 2);
}

TEST_F(ReceiveJobTest, CancelDuringAFileKeepsTheFilesBeforeAndDoesNotCreateTheCurrentOne) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(300, 1));
  harness_.addFile({"B.MID"}, linktest::patternBytes(60000, 2));
  harness_.addFile({"C.MID"}, linktest::patternBytes(10, 3));
  // Cancel is pressed once the display shows B, while B's stream is asked for: the
  // PC's Ready for B waits until then.
  display_.cancelAtName = "B.MID";
  auto askedForB = std::make_shared<std::atomic<bool>>(false);
  holdWorkerUntil(
      [askedForB](const Bytes& m) {
        if (linktest::is(SysexId::FileRequest, m)) askedForB->store(contains(m, "B.MID"));
        return askedForB->load() && linktest::is(SysexId::Ready, m);
      },
      [](const DisplayLog& log) { return log.cancelReachedJob(); });

  EXPECT_EQ(run(request({"A.MID", "B.MID", "C.MID"})).end, JobEnd::Cancelled);
  EXPECT_EQ(shownNumbers(), std::vector<int>{kCancelled});
  EXPECT_TRUE(fs::exists(pcFolder_ / "A.MID"));
  EXPECT_FALSE(fs::exists(pcFolder_ / "B.MID"));
  EXPECT_FALSE(fs::exists(pcFolder_ / "C.MID"));
  // The engine gives up the stream with Error; the job then says it was a Cancel.
  EXPECT_EQ(sentCount(SysexId::Cancel), 1);
}

TEST_F(ReceiveJobTest, NamesThatWouldLeaveTheFolderAreRefusedLikeAFileThatCannotBeCreated) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(10, 1));
  tree_.listFolder(nullptr);
  // Names as a hostile instrument could list them.
  for (const std::string name : {"../EVIL.MID", "..", ".", "SUB/X.MID"}) {
    SCOPED_TRACE(name);
    FolderNode* hostile = tree_.insertSorted(name, nullptr, 0x20, 10);
    ReceiveRequest r{pcFolder_.string(), &tree_, {tree_.findByPath("0:\\A.MID"), hostile}};
    JobEnvironment e = environment();
    EXPECT_EQ(runReceiveJob(r, e).end, JobEnd::FileError);
    EXPECT_NE(shown().back().text.find("Failed to create"), std::string::npos);
    tree_.removeNode(hostile);
    fs::remove(pcFolder_ / "A.MID");
  }
  EXPECT_FALSE(fs::exists(pcRoot_ / "EVIL.MID"));
  // Only A.MID was asked for, once per run, and nothing was written but A.MID.
  EXPECT_EQ(sentCount(SysexId::FileRequest), 4);
  EXPECT_EQ(std::distance(fs::directory_iterator(pcRoot_), fs::directory_iterator()), 1);
  EXPECT_TRUE(fs::is_empty(pcFolder_));
}

TEST_F(ReceiveJobTest, EachFileGoesIntoItsOwnFolderBelowTheDestination) {
  const Bytes a = linktest::patternBytes(300, 1);
  harness_.addFile({"A.MID"}, a);
  harness_.addFile({"B.MID"}, {7});
  fs::create_directories(pcFolder_ / "POPS" / "OLD");
  ReceiveRequest r = request({"A.MID", "B.MID"});
  r.pcSubfolders = {"POPS/OLD", ""};
  // The progress names the file with its folder.
  holdWorkerUntil([](const Bytes& m) { return protocol::matches(SysexId::FileRequest, m) && contains(m, "A.MID"); },
                  [](const DisplayLog& log) { return !log.names.empty() && log.names.back() == "POPS/OLD/A.MID"; });
  EXPECT_EQ(run(r).end, JobEnd::Completed);
  EXPECT_EQ(readPcFile(pcFolder_ / "POPS" / "OLD" / "A.MID"), a);
  EXPECT_EQ(readPcFile(pcFolder_ / "B.MID"), Bytes{7});

  // A folder part that is not a plain name is refused before the file is asked for.
  for (const std::string folder : {"..", "POPS/../..", "POPS//OLD", "/tmp"}) {
    SCOPED_TRACE(folder);
    ReceiveRequest hostile = request({"A.MID"});
    hostile.pcSubfolders = {folder};
    EXPECT_EQ(run(hostile).end, JobEnd::FileError);
  }
  EXPECT_FALSE(fs::exists(pcRoot_ / "A.MID"));
}

TEST_F(ReceiveJobTest, AShiftJisNameBecomesAUtf8FileName) {
  const std::string name = *protocol::utf8ToShiftJis("曲.MID");
  harness_.addFile({name}, linktest::patternBytes(10, 1));
  tree_.listFolder(nullptr);
  ReceiveRequest r{pcFolder_.string(), &tree_, {tree_.findByPath("0:\\" + name)}};
  ASSERT_NE(r.receiveFiles.front(), nullptr);
  JobEnvironment e = environment();
  EXPECT_EQ(runReceiveJob(r, e).end, JobEnd::Completed);
  EXPECT_EQ(readPcFile(pcFolder_ / pathFromUtf8("曲.MID")), linktest::patternBytes(10, 1));
}

TEST_F(ReceiveJobTest, AFileThatCannotBeWrittenIsReportedAndEndsTheJob) {
  harness_.addFile({"A.MID"}, linktest::patternBytes(10, 1));
  freeSpace_ = [](const fs::path&) { return std::optional<std::uint64_t>(1 << 20); };
  tree_.listFolder(nullptr);
  ReceiveRequest r{(pcFolder_ / "missing").string(), &tree_, {tree_.findByPath("0:\\A.MID")}};
  JobEnvironment e = environment();

  EXPECT_EQ(runReceiveJob(r, e).end, JobEnd::FileError);
  ASSERT_EQ(shownNumbers(), std::vector<int>{0});  // the string, no end message
  EXPECT_EQ(shown().front().text, "Failed to create \"A.MID\".");
}

TEST(TransferJobStateTest, TheBarIsFullWhenThereIsNothingToMoveAndNeverPastTheEnd) {
  TransferJobState state;
  EXPECT_EQ(state.percent(), 100);
  state.bytesTotal = 200;
  state.bytesDone = 50;
  state.transfer.progressBytes = 49;
  EXPECT_EQ(state.percent(), 49);
  state.transfer.progressBytes = 500;  // more than the listing said
  EXPECT_EQ(state.percent(), 100);
}

}  // namespace
}  // namespace quaverly::jobtest
