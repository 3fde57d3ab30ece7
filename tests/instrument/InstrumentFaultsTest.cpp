// The faults the instrument can be told to commit, and its model of the MIDI wire,
// each seen from the PC's end of the line.
#include <gtest/gtest.h>

#include <thread>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "tests/instrument/InstrumentHarness.h"

namespace quaverly::instrument::testing {
namespace {

using protocol::SysexId;
using std::chrono::microseconds;

Bytes fileRequest(std::string_view path) { return protocol::buildPathCommand(SysexId::FileRequest, 0, path); }
Bytes fileHeader(std::uint32_t size, std::string_view path) { return protocol::buildFileHeader(0, size, path); }

InstrumentOptions withFaults(const Faults& faults) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.faults = faults;
  return o;
}

// The time from the first trace entry that came in and matches `in` to the first
// one that went out and matches `out`.
microseconds inToOut(Instrument& instrument, SysexId in, SysexId out) {
  std::optional<microseconds> from;
  for (const TraceEntry& e : instrument.trace().entries()) {
    if (!from && e.direction == TraceEntry::Direction::In && protocol::matches(in, e.bytes)) from = e.time;
    if (from && e.direction == TraceEntry::Direction::Out && protocol::matches(out, e.bytes)) return e.time - *from;
  }
  ADD_FAILURE() << "no such pair in the trace";
  return microseconds{0};
}

// Checks one block as the PC does, with the counter it expects.
bool blockIsGood(const Bytes& block, std::uint8_t counter) {
  if (!is(SysexId::BulkBlock, block)) return false;
  const std::size_t count = block[4] * 128u + (block[5] & 0x7Fu);
  return block.size() == count + 8 && block[8] == counter &&
         protocol::expectedChecksum(std::span(block).subspan(6, count)) == block[block.size() - 2];
}

// --- Faults ---

TEST(InstrumentFaults, SilentAnswersNothingAtAll) {
  Faults f;
  f.silent = true;
  InstrumentHarness h(withFaults(f));
  h.addFile({"A.MID"}, Bytes(5, 5));
  EXPECT_TRUE(h.exchange(message(SysexId::IdentifyRequest)).empty());
  h.enterTransferMode();
  for (const Bytes& m : {message(SysexId::RemoteCheck), protocol::buildFindFirst(0, 0x30, "0:\\*"),
                         message(SysexId::FreeSpaceRequest), fileRequest("0:\\A.MID"), fileHeader(3, "0:\\B.MID")}) {
    EXPECT_TRUE(h.exchange(m).empty());
  }
  EXPECT_EQ(h.names(), std::vector<std::string>{"A.MID"});
  // Everything that came in is in the trace; nothing went out.
  const auto trace = h.instrument().trace().entries();
  EXPECT_EQ(trace.size(), 7u);
  for (const TraceEntry& e : trace) EXPECT_EQ(e.direction, TraceEntry::Direction::In);
}

TEST(InstrumentFaults, AnswerDelayHoldsBackEveryMessageAndKeepsTheirOrder) {
  Faults f;
  f.answerDelay = Milliseconds{2000};  // 20 ms at the harness's time scale
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(400));
  h.send(message(SysexId::IdentifyRequest));
  h.send(message(SysexId::RemoteCheck));
  const auto replies = h.drain();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_TRUE(is(SysexId::IdentifyReply, replies[0]));
  EXPECT_TRUE(is(SysexId::RemoteReady, replies[1]));
  EXPECT_GE(inToOut(h.instrument(), SysexId::IdentifyRequest, SysexId::IdentifyReply), microseconds(19900));
  EXPECT_GE(inToOut(h.instrument(), SysexId::RemoteCheck, SysexId::RemoteReady), microseconds(19900));

  const ReceivedStream s = fetchFile(h, "0:\\A.MID");
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.data, patternBytes(400));
  EXPECT_GE(inToOut(h.instrument(), SysexId::Ready, SysexId::BulkBlock), microseconds(19900));
}

TEST(InstrumentFaults, DropsOnlyTheNthMessage) {
  Faults f;
  f.dropAnswer = 2;
  InstrumentHarness h(withFaults(f));
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  h.enterTransferMode();  // no answer: not counted
  EXPECT_TRUE(h.exchange(message(SysexId::RemoteCheck)).empty());
  EXPECT_TRUE(is(SysexId::RemoteReady, h.ask(message(SysexId::RemoteCheck))));
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
}

TEST(InstrumentFaults, DroppedMessageCanBeABlockOfAStream) {
  Faults f;
  f.dropAnswer = 3;  // the FileHeader reply, block 1, then block 2 is lost
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(630));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  const auto stream = h.exchange(message(SysexId::Ready));
  ASSERT_EQ(stream.size(), 3u);
  EXPECT_TRUE(blockIsGood(stream[0], 0));
  EXPECT_TRUE(blockIsGood(stream[1], 2));
  EXPECT_TRUE(is(SysexId::EndOfData, stream[2]));
}

class InstrumentSizeError : public ::testing::TestWithParam<int> {};

TEST_P(InstrumentSizeError, AnnouncesAWrongSizeButSendsTheFile) {
  Faults f;
  f.sizeError = GetParam();
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  const Bytes data = patternBytes(500);
  h.addFile({"A.MID"}, data);
  std::uint32_t announced = 0;
  const ReceivedStream s = fetchFile(h, "0:\\A.MID", &announced);
  EXPECT_EQ(announced, static_cast<std::uint32_t>(500 + GetParam()));
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.data, data);
}

INSTANTIATE_TEST_SUITE_P(LargerAndSmaller, InstrumentSizeError, ::testing::Values(5, -5, 1));

TEST(InstrumentFaults, CorruptsTheChecksumOfBlockNOnly) {
  Faults f;
  f.corruptChecksumBlock = 2;
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  h.addFile({"A.MID"}, data);
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  const auto stream = h.exchange(message(SysexId::Ready));
  ASSERT_EQ(stream.size(), 4u);
  EXPECT_TRUE(blockIsGood(stream[0], 0));
  EXPECT_FALSE(blockIsGood(stream[1], 1));
  EXPECT_TRUE(blockIsGood(stream[2], 2));
  // Only the checksum is wrong: the block is otherwise the right one.
  Bytes repaired = stream[1];
  repaired[repaired.size() - 2] = protocol::expectedChecksum(std::span(repaired).subspan(6, repaired.size() - 8));
  EXPECT_EQ(repaired, blocksFor(data)[1]);
  EXPECT_EQ(decodeStream(stream).fault, "message 1 has a bad checksum");
}

TEST(InstrumentFaults, RepeatsThePreviousCounterInBlockN) {
  Faults f;
  f.repeatCounterBlock = 3;
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(1000));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  const auto stream = h.exchange(message(SysexId::Ready));
  ASSERT_EQ(stream.size(), 6u);
  std::vector<int> counters;
  for (std::size_t i = 0; i < 5; ++i) counters.push_back(stream[i][8]);
  EXPECT_EQ(counters, (std::vector<int>{0, 1, 1, 3, 4}));
  // The repeated block's checksum fits its counter: only the counter is wrong.
  EXPECT_EQ(protocol::expectedChecksum(std::span(stream[2]).subspan(6, stream[2].size() - 8)),
            stream[2][stream[2].size() - 2]);
  EXPECT_EQ(decodeStream(stream).fault, "message 2 has counter 1, expected 2");
}

TEST(InstrumentFaults, RepeatedCounterOfTheFirstBlockIs127) {
  Faults f;
  f.repeatCounterBlock = 1;
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(100));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  const auto stream = h.exchange(message(SysexId::Ready));
  ASSERT_EQ(stream.size(), 2u);
  EXPECT_EQ(stream[0][8], 127);
}

TEST(InstrumentFaults, StrayIdentifyReplyAfterBlockN) {
  Faults f;
  f.strayIdentifyAfterBlock = 1;
  InstrumentOptions o = withFaults(f);
  o.identifyA = 0x21;
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  h.addFile({"A.MID"}, data);
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  auto stream = h.exchange(message(SysexId::Ready));
  ASSERT_EQ(stream.size(), 5u);
  EXPECT_TRUE(is(SysexId::BulkBlock, stream[0]));
  EXPECT_EQ(stream[1], (Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x21, 0x00, 0xF7}));
  stream.erase(stream.begin() + 1);
  const ReceivedStream s = decodeStream(stream);
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.data, data);
}

TEST(InstrumentFaults, WaitWithoutReadyStallsFlowControlForGood) {
  Faults f;
  f.waitWithoutReadyAtBlock = 2;
  InstrumentOptions o = withFaults(f);
  o.waitEveryBlocks = 1;  // it would otherwise pause and resume after every block
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes data = patternBytes(1000);
  const auto blocks = blocksFor(data);
  ASSERT_EQ(blocks.size(), 5u);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(1000, "0:\\A.MID"))));
  EXPECT_EQ(h.exchange(blocks[0]), (std::vector<Bytes>{message(SysexId::Wait), message(SysexId::Ready)}));
  // Idle means no Ready is waiting to go out either.
  EXPECT_EQ(h.exchange(blocks[1]), std::vector<Bytes>{message(SysexId::Wait)});
  EXPECT_TRUE(h.exchange(blocks[2]).empty());
  // The blocks are still stored: only the flow control is broken.
  EXPECT_TRUE(h.exchange(blocks[3]).empty());
  EXPECT_TRUE(h.exchange(blocks[4]).empty());
  EXPECT_EQ(h.exchange(message(SysexId::EndOfData)), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
}

TEST(InstrumentFaults, SlowDeleteAnswersLateAndInOrder) {
  Faults f;
  f.deleteDelay = Milliseconds{3000};  // 30 ms at the harness's time scale
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  h.addFile({"A.MID"}, Bytes(1, 1));
  h.send(protocol::buildPathCommand(SysexId::DeleteFile, 0, "0:\\A.MID"));
  h.send(message(SysexId::IdentifyRequest));
  const auto replies = h.drain();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_TRUE(is(SysexId::CommandAccepted, replies[0]));
  EXPECT_TRUE(is(SysexId::IdentifyReply, replies[1]));
  EXPECT_GE(inToOut(h.instrument(), SysexId::DeleteFile, SysexId::CommandAccepted), microseconds(29900));
  EXPECT_TRUE(h.names().empty());
}

TEST(InstrumentFaults, ErrorAtBlockNOfEveryReception) {
  Faults f;
  f.errorAtBlock = 2;
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  const auto blocks = blocksFor(data);
  for (std::string_view path : {"0:\\A.MID", "0:\\B.MID"}) {
    EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(630, path)))) << path;
    EXPECT_TRUE(h.exchange(blocks[0]).empty()) << path;
    EXPECT_EQ(h.exchange(blocks[1]), std::vector<Bytes>{message(SysexId::Error)}) << path;
    EXPECT_TRUE(h.exchange(blocks[2]).empty()) << path;
  }
  EXPECT_EQ(h.fileContents({"A.MID"}), Bytes(data.begin(), data.begin() + 210));
  EXPECT_EQ(h.fileContents({"B.MID"}), Bytes(data.begin(), data.begin() + 210));
  // A file of a single block is not affected.
  EXPECT_EQ(storeFile(h, "0:\\C.MID", Bytes(data.begin(), data.begin() + 100)),
            std::vector<Bytes>{message(SysexId::Finished)});
}

// The stored byte N lies in the first block, on a block's edge or in a later block;
// a file too short to have it is stored as it came.
TEST(InstrumentFaults, CorruptStoredByteInvertsByteNOfEveryFileAndAnswersAsIfWell) {
  const Bytes data = patternBytes(500);
  for (const std::uint32_t n : {1u, 210u, 211u, 500u, 501u}) {
    Faults f;
    f.corruptStoredByte = n;
    InstrumentHarness h(withFaults(f));
    h.enterTransferMode();
    EXPECT_EQ(storeFile(h, "0:\\A.MID", data), std::vector<Bytes>{message(SysexId::Finished)}) << n;
    Bytes expected = data;
    if (n <= data.size()) expected[n - 1] ^= 0xFF;
    EXPECT_EQ(h.fileContents({"A.MID"}), expected) << n;
  }
}

TEST(InstrumentFaults, MemoryFullRefusesWhatTakesRoomOnly) {
  Faults f;
  f.memoryFull = true;
  InstrumentHarness h(withFaults(f));
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(300));
  h.addFile({"B.MID"}, Bytes(1, 1));
  const Bytes space = h.ask(message(SysexId::FreeSpaceRequest));
  ASSERT_TRUE(is(SysexId::FreeSpaceReply, space));
  EXPECT_EQ(replyNumber(space), 0u);
  EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(0, "0:\\C.MID"))));
  EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(1, "0:\\B.MID"))));
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(protocol::buildPathCommand(SysexId::MakeFolder, 0, "0:\\DIR"))));
  // Reading, listing, renaming and deleting go on.
  EXPECT_EQ(fetchFile(h, "0:\\A.MID").data, patternBytes(300));
  EXPECT_TRUE(is(SysexId::FindFirstReply, h.ask(protocol::buildFindFirst(0, 0x30, "0:\\*"))));
  EXPECT_TRUE(is(SysexId::CommandAccepted, h.ask(protocol::buildRename(0, "0:\\A.MID", "0:\\D.MID"))));
  EXPECT_TRUE(is(SysexId::CommandAccepted, h.ask(protocol::buildPathCommand(SysexId::DeleteFile, 0, "0:\\B.MID"))));
  EXPECT_EQ(h.names(), std::vector<std::string>{"D.MID"});
}

// --- The MIDI wire ---

// Sends a file's blocks as the PC paces them: a block that would take the bytes sent
// since the last pause past `intervalBytes` waits `interval` first (each block costs
// its payload and 14 bytes). EndOfData follows the last block at once.
std::vector<Bytes> storePaced(InstrumentHarness& h, std::string_view path, const Bytes& data,
                              std::uint32_t intervalBytes, std::chrono::microseconds interval) {
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(static_cast<std::uint32_t>(data.size()), path))));
  std::uint32_t paceCount = 0;
  for (const Bytes& block : blocksFor(data)) {
    const auto cost = static_cast<std::uint32_t>(block.size() - 11 + 14);
    if (paceCount != 0 && paceCount + cost > intervalBytes) {
      std::this_thread::sleep_for(interval);
      paceCount = cost;
    } else {
      paceCount += cost;
    }
    h.send(block);
  }
  h.send(message(SysexId::EndOfData));
  return h.drain();
}

InstrumentOptions withWire(double timeScale, std::uint32_t bufferBytes = WireModel{}.inputBufferBytes) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.timeScale = timeScale;
  o.wire.enabled = true;
  o.wire.inputBufferBytes = bufferBytes;
  return o;
}

TEST(InstrumentWire, BlocksSentFasterThanTheLineDrainsAreDamaged) {
  // At ten times the real duration a block takes 0.8 s to drain: the second block
  // arrives long before there is room for it.
  InstrumentHarness h(withWire(10.0));
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(630, "0:\\A.MID"))));
  const auto blocks = blocksFor(data);
  h.send(blocks[0]);
  h.send(blocks[1]);
  EXPECT_EQ(h.drain(), std::vector<Bytes>{message(SysexId::Error)});
  EXPECT_EQ(h.fileContents({"A.MID"}), Bytes(data.begin(), data.begin() + 210));
}

TEST(InstrumentWire, AMessageLargerThanTheBufferIsDamaged) {
  InstrumentHarness h(withWire(0.01, 128));
  h.enterTransferMode();
  const Bytes data = patternBytes(300);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(300, "0:\\A.MID"))));
  EXPECT_EQ(h.exchange(blocksFor(data)[0]), std::vector<Bytes>{message(SysexId::Error)});
  EXPECT_EQ(h.fileContents({"A.MID"}), Bytes{});
}

TEST(InstrumentWire, BlocksPacedLikeThePcArriveIntact) {
  // A tenth of the real durations: a full block drains in 8 ms, the pause is 10 ms.
  // The last block is full, so the end-of-data that follows it without a pause must
  // still find room.
  InstrumentHarness h(withWire(0.1));
  h.enterTransferMode();
  const Bytes data = patternBytes(4 * 210);
  EXPECT_EQ(storePaced(h, "0:\\A.MID", data, 256, std::chrono::milliseconds(10)),
            std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
}

TEST(InstrumentWire, StreamToThePcKeepsToTheLineRate) {
  InstrumentHarness h(withWire(0.1));
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  h.addFile({"A.MID"}, data);
  const ReceivedStream s = fetchFile(h, "0:\\A.MID");
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.data, data);
  // Three blocks of 251 bytes and EndOfData at 3125 bytes a second, a tenth of it.
  EXPECT_GE(inToOut(h.instrument(), SysexId::Ready, SysexId::EndOfData), microseconds((3 * 251 + 7) * 32 - 100));
}

TEST(InstrumentWire, CommandsAreAnsweredAsUsual) {
  InstrumentHarness h(withWire(0.01));
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::RemoteReady, h.ask(message(SysexId::RemoteCheck))));
}

}  // namespace
}  // namespace quaverly::instrument::testing
