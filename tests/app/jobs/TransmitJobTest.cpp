// The transmit job against the virtual instrument: the questions, the conversion
// choice, the room check, and what the instrument holds afterwards.
#include "app/jobs/TransmitJob.h"
#include "app/smf/SmfMerger.h"
#include "tests/TemporaryFolder.h"
#include "tests/app/jobs/JobTestSupport.h"

namespace quaverly::jobtest {
namespace {

using protocol::SysexId;

constexpr int kNameUsed = 7;
constexpr int kCannotOpen = 10;
constexpr int kNoRoom = 12;
constexpr int kCompleted = 18;
constexpr int kCancelled = 19;
constexpr int kFailed = 20;
constexpr int kConvert = 28;
constexpr int kNotConverted = 29;
constexpr int kOverwrite = 33;

void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) { out.insert(out.end(), bytes); }

void appendChunk(Bytes& out, std::string_view id, const Bytes& body) {
  out.insert(out.end(), id.begin(), id.end());
  const auto n = static_cast<std::uint32_t>(body.size());
  append(out, {static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
               static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
  out.insert(out.end(), body.begin(), body.end());
}

// A Standard MIDI File of `format` with two tracks that play `notes` notes each at
// the same times, on two channels, written with running status. Merged, the events
// alternate between the channels and each needs its status byte again, so the
// format 0 file is longer than the original once there are a few notes.
Bytes smf(std::uint8_t format, int notes) {
  Bytes file;
  appendChunk(file, "MThd", {0, format, 0, 2, 0, 96});
  for (std::uint8_t channel = 0; channel < 2; ++channel) {
    Bytes track = {0x00, static_cast<std::uint8_t>(0x90 | channel), 0x3C, 0x40};
    for (int i = 0; i < notes; ++i) append(track, {0x10, static_cast<std::uint8_t>(0x3C + i % 12), 0x40});
    append(track, {0x00, 0xFF, 0x2F, 0x00});
    appendChunk(file, "MTrk", track);
  }
  return file;
}

Bytes converted(const Bytes& format1) {
  smf::CSmfMerger merger;
  merger.start(1, format1.data(), static_cast<std::uint32_t>(format1.size()));
  merger.waitFor(std::chrono::seconds(30));
  EXPECT_EQ(merger.status(), smf::CSmfMerger::kSuccess);
  const auto out = merger.output();
  return Bytes(out.begin(), out.end());
}

class TransmitJobTest : public JobTest {
 protected:
  TransmitJobTest() : JobTest(options()) {}

  static instrument::InstrumentOptions options() {
    instrument::InstrumentOptions o = LinkHarness::fastOptions();
    o.capacityBytes = 64 * 1024;
    return o;
  }

  fs::path pcFile(const std::string& name, const Bytes& bytes) {
    const fs::path path = pcFolder_ / name;
    writePcFile(path, bytes);
    return path;
  }

  // Sends the PC files into the drive, as listed before the job.
  JobOutcome send(const std::vector<fs::path>& files, std::string destination = "0:") {
    tree_.listFolder(nullptr);
    TransmitRequest r{pcFolder_.string(), {}, destination, &tree_};
    for (const fs::path& f : files) r.transmitFiles.push_back(f.string());
    JobEnvironment e = environment();
    return runTransmitJob(r, e);
  }

  std::optional<Bytes> onInstrument(const std::string& name) { return harness_.fileContents({name}); }
};

TEST_F(TransmitJobTest, ConvertModeNeverSendsEveryFileUnchangedWithoutAsking) {
  settings_.convertMode = 3;
  const Bytes format1 = smf(1, 20);
  const JobOutcome outcome = send({pcFile("A.MID", format1), pcFile("EMPTY.MID", {})});
  EXPECT_EQ(outcome.end, JobEnd::Completed);
  EXPECT_EQ(shownNumbers(), std::vector<int>{kCompleted});
  EXPECT_EQ(onInstrument("A.MID"), format1);
  EXPECT_EQ(onInstrument("EMPTY.MID"), Bytes{});
  EXPECT_EQ(outcome.folder, pcFolder_.string());
  EXPECT_EQ(display_.kinds, std::vector<TransferKind>{TransferKind::Transmit});
}

TEST_F(TransmitJobTest, ConvertModeAlwaysConvertsFormat1FilesOnlyAndWithoutAsking) {
  settings_.convertMode = 1;
  const Bytes format1 = smf(1, 40);
  const Bytes format0 = smf(0, 5);
  const Bytes text = {'h', 'e', 'l', 'l', 'o'};
  const Bytes shortFile = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};  // format 1, but cut before 14 bytes
  EXPECT_EQ(
      send({pcFile("A.MID", format1), pcFile("B.MID", format0), pcFile("C.TXT", text), pcFile("D.MID", shortFile)}).end,
      JobEnd::Completed);
  EXPECT_EQ(questionsAsked(), 0);
  // The converted file is longer than the original: the buffer grew for it.
  const Bytes expected = converted(format1);
  EXPECT_GT(expected.size(), format1.size());
  EXPECT_EQ(onInstrument("A.MID"), expected);
  EXPECT_EQ(onInstrument("B.MID"), format0);
  EXPECT_EQ(onInstrument("C.TXT"), text);
  EXPECT_EQ(onInstrument("D.MID"), shortFile);
}

TEST_F(TransmitJobTest, AConvertedFileCountsWithItsConvertedSize) {
  settings_.convertMode = 1;
  const Bytes format1 = smf(1, 60);
  const Bytes other = linktest::patternBytes(20000, 4);
  // The second file's header waits until the display shows that file.
  holdWorkerUntil([](const Bytes& m) { return linktest::is(SysexId::FileHeader, m) && contains(m, "B.BIN"); },
                  [](const DisplayLog& log) { return !log.names.empty() && log.names.back() == "B.BIN"; });
  ASSERT_EQ(send({pcFile("A.MID", format1), pcFile("B.BIN", other)}).end, JobEnd::Completed);
  EXPECT_EQ(display_.lastTotal, converted(format1).size() + other.size());
}

TEST_F(TransmitJobTest, AnyOtherConvertModeAsksForEachFormat1File) {
  for (const std::int32_t mode : {0, 2, 7}) {
    SCOPED_TRACE(mode);
    settings_.convertMode = mode;
    const Bytes format1 = smf(1, 3);
    // Yes converts this file, No sends the next unchanged; format 0 is not asked about.
    answer({MessageResult::Yes, MessageResult::No});
    ASSERT_EQ(send({pcFile("A.MID", format1), pcFile("Z.MID", smf(0, 3)), pcFile("B.MID", format1)}).end,
              JobEnd::Completed);
    EXPECT_EQ(onInstrument("A.MID"), converted(format1));
    EXPECT_EQ(onInstrument("B.MID"), format1);
    for (const std::string name : {"A.MID", "B.MID", "Z.MID"})
      harness_.instrument().withMemory([&](auto& m) { m.removeFile({name}); });
  }
  EXPECT_EQ(questionsAsked(), 6);
}

TEST_F(TransmitJobTest, ConvertQuestionYesToAllAndCancel) {
  settings_.convertMode = 0;
  const Bytes format1 = smf(1, 3);
  answer({MessageResult::YesToAll});
  ASSERT_EQ(send({pcFile("A.MID", format1), pcFile("B.MID", format1)}).end, JobEnd::Completed);
  EXPECT_EQ(questionsAsked(), 1);
  EXPECT_EQ(onInstrument("A.MID"), converted(format1));
  EXPECT_EQ(onInstrument("B.MID"), converted(format1));

  const int headersBefore = sentCount(SysexId::FileHeader);
  answer({MessageResult::Yes, MessageResult::Cancel});
  EXPECT_EQ(send({pcFile("C.MID", format1), pcFile("D.MID", format1)}).end, JobEnd::Declined);
  EXPECT_EQ(sentCount(SysexId::FileHeader), headersBefore);
  EXPECT_FALSE(onInstrument("C.MID"));
}

TEST_F(TransmitJobTest, AFileThatCannotBeConvertedIsSkippedAndTheJobGoesOn) {
  settings_.convertMode = 1;
  Bytes broken = smf(1, 3);
  broken.resize(broken.size() - 6);  // the last track runs past the end of the file
  const JobOutcome outcome = send({pcFile("BAD.MID", broken), pcFile("OK.MID", {1, 2, 3})});
  EXPECT_EQ(outcome.end, JobEnd::Completed);
  EXPECT_EQ(outcome.filesSkipped, 1);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kNotConverted, kCompleted}));
  EXPECT_FALSE(onInstrument("BAD.MID"));
  EXPECT_EQ(onInstrument("OK.MID"), (Bytes{1, 2, 3}));
}

TEST_F(TransmitJobTest, OverwriteQuestionAndFoldersOfTheSameName) {
  harness_.addFile({"A.MID"}, {9, 9});
  harness_.addFolder({"B.MID"});
  answer({MessageResult::No});
  EXPECT_EQ(send({pcFile("A.MID", {1})}).end, JobEnd::NothingToDo);
  EXPECT_EQ(shownNumbers(), std::vector<int>{kOverwrite});
  EXPECT_EQ(onInstrument("A.MID"), (Bytes{9, 9}));

  answer({MessageResult::YesToAll});
  EXPECT_EQ(send({pcFile("A.MID", {1}), pcFile("B.MID", {2})}).end, JobEnd::Refused);
  EXPECT_EQ(shown().back().number, kNameUsed);
  EXPECT_EQ(onInstrument("A.MID"), (Bytes{9, 9}));

  answer({MessageResult::Yes});
  EXPECT_EQ(send({pcFile("A.MID", {1, 2, 3})}).end, JobEnd::Completed);
  EXPECT_EQ(onInstrument("A.MID"), (Bytes{1, 2, 3}));
}

// The checks before a transfer end the job at the first check that ends it: nothing
// more is asked (here every file is of format 1 and the convert question is on) and
// nothing is sent.
TEST_F(TransmitJobTest, TheFirstCheckThatEndsTheJobEndsItThere) {
  settings_.convertMode = 0;
  const Bytes format1 = smf(1, 3);
  harness_.addFile({"OLD.MID"}, {9});
  harness_.addFolder({"DIR.MID"});
  struct Case {
    const char* what;
    std::vector<std::string> names;
    MessageResult reply;  // to the first question, if one is asked
    JobEnd end;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {"overwrite answered Cancel", {"OLD.MID", "NEW.MID"}, MessageResult::Cancel, JobEnd::Declined, {kOverwrite}},
      {"overwrite answered No", {"OLD.MID"}, MessageResult::No, JobEnd::NothingToDo, {kOverwrite}},
      {"a folder of the same name", {"NEW.MID", "DIR.MID"}, MessageResult::Yes, JobEnd::Refused, {kNameUsed}},
      // A name without a code page 932 form, before a file that would be asked about.
      {"a name the instrument cannot hold",
       {"\xF0\x9F\x8E\xB5.MID", "OLD.MID"},
       MessageResult::Yes,
       JobEnd::Refused,
       {kNoRoom}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<fs::path> files;
    for (const std::string& name : c.names) files.push_back(pcFile(name, format1));
    answer({c.reply});
    const std::size_t shownBefore = shown().size();
    EXPECT_EQ(send(files).end, c.end);
    const std::vector<int> numbers = shownNumbers();
    EXPECT_EQ(std::vector<int>(numbers.begin() + static_cast<std::ptrdiff_t>(shownBefore), numbers.end()), c.shown);
    EXPECT_EQ(sentCount(SysexId::FileHeader), 0);
  }
  EXPECT_EQ(onInstrument("OLD.MID"), Bytes{9});
}

TEST_F(TransmitJobTest, RoomCountsTheFilesThatWillBeReplaced) {
  // 64 KiB of memory, 40 KiB of it in use.
  harness_.addFile({"BIG.MID"}, linktest::patternBytes(40 * 1024, 1));
  const Bytes replacement = linktest::patternBytes(50 * 1024, 2);
  // Without replacing anything it does not fit: refused before anything is sent.
  EXPECT_EQ(send({pcFile("NEW.MID", replacement)}).end, JobEnd::Refused);
  EXPECT_EQ(shownNumbers(), std::vector<int>{kNoRoom});
  EXPECT_NE(shown().back().text.find("NEW.MID"), std::string::npos);
  EXPECT_EQ(sentCount(SysexId::FileHeader), 0);

  // In place of the old file it fits.
  answer({MessageResult::Yes});
  EXPECT_EQ(send({pcFile("BIG.MID", replacement)}).end, JobEnd::Completed);
  EXPECT_EQ(onInstrument("BIG.MID"), replacement);
}

TEST_F(TransmitJobTest, AFailedFreeSpaceQueryBeforeTheStartShowsFailureThenNoRoom) {
  tree_.listFolder(nullptr);
  harness_.ports().setDumpError(11);
  TransmitRequest r{pcFolder_.string(), {pcFile("A.MID", {1}).string()}, "0:", &tree_};
  JobEnvironment e = environment();
  EXPECT_EQ(runTransmitJob(r, e).end, JobEnd::Refused);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kFailed, kNoRoom}));
  harness_.ports().setDumpError(0);
}

TEST_F(TransmitJobTest, APcFileRemovedAfterItWasChosenStopsTheJob) {
  const JobOutcome outcome = send({pcFile("A.MID", {1}), pcFolder_ / "GONE.MID", pcFile("C.MID", {3})});
  EXPECT_EQ(outcome.end, JobEnd::FileError);
  EXPECT_EQ(shownNumbers(), (std::vector<int>{kCannotOpen, kFailed}));
  EXPECT_EQ(onInstrument("A.MID"), Bytes{1});
  EXPECT_FALSE(onInstrument("C.MID"));
}

TEST_F(TransmitJobTest, CancelDuringAFileDeletesItOnTheInstrumentAndKeepsTheFilesBefore) {
  // B's third block waits until Cancel was pressed: 2 + 2 x 210 bytes are done then.
  display_.cancelAtBytes = 400;
  holdWorkerUntil([](const Bytes& m) { return linktest::is(SysexId::BulkBlock, m) && m[8] == 2; },
                  [](const DisplayLog& log) { return log.cancelReachedJob(); });
  const JobOutcome outcome =
      send({pcFile("A.MID", {1, 2}), pcFile("B.MID", linktest::patternBytes(50000, 3)), pcFile("C.MID", {3})});
  EXPECT_EQ(outcome.end, JobEnd::Cancelled);
  EXPECT_EQ(shownNumbers(), std::vector<int>{kCancelled});
  EXPECT_EQ(sentCount(SysexId::Cancel), 1);
  EXPECT_EQ(sentCount(SysexId::DeleteFile), 1);
  EXPECT_EQ(onInstrument("A.MID"), (Bytes{1, 2}));
  EXPECT_FALSE(onInstrument("B.MID"));
  EXPECT_FALSE(onInstrument("C.MID"));
  EXPECT_EQ(display_.names.back(), "B.MID");
}

TEST_F(TransmitJobTest, IntoASubFolderTheNameIsTheTextAfterTheLastSlash) {
  harness_.addFolder({"POPS"});
  tree_.openPath("0:\\POPS");
  TransmitRequest r{pcFolder_.string(), {pcFile("SONG.MID", {4, 5}).string()}, "0:\\POPS\\", &tree_};
  JobEnvironment e = environment();
  EXPECT_EQ(runTransmitJob(r, e).end, JobEnd::Completed);
  EXPECT_EQ(harness_.fileContents({"POPS", "SONG.MID"}), (Bytes{4, 5}));
}

TEST_F(TransmitJobTest, MakesTheNewFoldersFirstAndSendsEachFileIntoItsOwn) {
  harness_.addFolder({"POPS"});
  tree_.openPath("0:\\POPS");
  TransmitRequest r{pcFolder_.string(), {pcFile("A.MID", {1}).string(), pcFile("B.MID", {2}).string()}, "0:", &tree_};
  r.destinationSubfolders = {"POPS\\NEW\\DEEP", "POPS"};
  r.foldersToMake = {"0:\\POPS\\NEW", "0:\\POPS\\NEW\\DEEP"};
  JobEnvironment e = environment();
  EXPECT_EQ(runTransmitJob(r, e).end, JobEnd::Completed);
  EXPECT_EQ(harness_.fileContents({"POPS", "NEW", "DEEP", "A.MID"}), Bytes{1});
  EXPECT_EQ(harness_.fileContents({"POPS", "B.MID"}), Bytes{2});
}

// An instrument that stores byte 250 of every file it receives wrongly.
class VerifyingTransmitJobTest : public JobTest {
 protected:
  VerifyingTransmitJobTest() : JobTest(options()) {}
  static instrument::InstrumentOptions options() {
    instrument::InstrumentOptions o = LinkHarness::fastOptions();
    o.faults.corruptStoredByte = 250;
    return o;
  }
};

TEST_F(VerifyingTransmitJobTest, ReadBackFindsTheFirstDifferenceAndTheBatchGoesOn) {
  const Bytes format1 = smf(1, 80);  // longer than 250 bytes once converted
  ASSERT_GT(converted(format1).size(), 250u);
  const std::vector<std::pair<std::string, Bytes>> files = {
      {"LONG.MID", linktest::patternBytes(400, 1)},   // stored wrongly
      {"SHORT.MID", linktest::patternBytes(249, 2)},  // too short to be touched
      {"CONV.MID", format1},                          // compared as converted
  };
  tree_.listFolder(nullptr);
  TransmitRequest r{pcFolder_.string(), {}, "0:", &tree_};
  for (const auto& [name, bytes] : files) {
    writePcFile(pcFolder_ / name, bytes);
    r.transmitFiles.push_back((pcFolder_ / name).string());
  }
  r.verify = true;
  settings_.convertMode = 1;
  // Reading back is named in the progress, and every file counts twice in it, the
  // converted one with its converted size.
  const std::uint64_t total = 2 * (400 + 249 + converted(format1).size());
  holdWorkerUntil([](const Bytes& m) { return protocol::matches(SysexId::FileRequest, m) && contains(m, "CONV.MID"); },
                  [total](const DisplayLog& log) {
                    return !log.names.empty() && log.names.back() == "CONV.MID (reading back)" &&
                           log.lastTotal == total;
                  });
  JobEnvironment e = environment();
  const JobOutcome outcome = runTransmitJob(r, e);

  EXPECT_EQ(outcome.end, JobEnd::Completed);
  ASSERT_EQ(outcome.mismatches.size(), 2u);
  EXPECT_EQ(outcome.mismatches[0].name, "LONG.MID");
  EXPECT_EQ(outcome.mismatches[0].offset, 249u);
  EXPECT_EQ(outcome.mismatches[1].name, "CONV.MID");
  EXPECT_EQ(outcome.mismatches[1].offset, 249u);
  EXPECT_EQ(sentCount(SysexId::FileRequest), 3);
}

TEST(SmfFormatTest, ReadsTheFormatOfAWholeHeaderOnly) {
  const fs::path folder = quaverly::test::makeTemporaryFolder("quaverly-smf");
  auto formatOf = [&](const Bytes& bytes) {
    writePcFile(folder / "f", bytes);
    return smfFormatOf(folder / "f");
  };
  EXPECT_EQ(formatOf(smf(1, 1)), 1);
  EXPECT_EQ(formatOf(smf(0, 1)), 0);
  Bytes format2 = smf(1, 1);
  format2[9] = 2;
  EXPECT_EQ(formatOf(format2), 2);
  const Bytes whole = smf(1, 1);
  EXPECT_EQ(formatOf(Bytes(whole.begin(), whole.begin() + 13)), 0xFFFF);
  Bytes longHeader = smf(1, 1);
  longHeader[7] = 7;
  EXPECT_EQ(formatOf(longHeader), 0xFFFF);
  EXPECT_EQ(smfFormatOf(folder / "missing"), 0xFFFF);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace quaverly::jobtest
