// Files moved both ways between a PC and the instrument, block by block: the
// handshakes, the blocks' counters, lengths and checksums, flow control, and what
// happens to a transfer that goes wrong.
#include <gtest/gtest.h>

#include <thread>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "tests/instrument/InstrumentHarness.h"

namespace quaverly::instrument::testing {
namespace {

using protocol::SysexId;

Bytes fileRequest(std::string_view path) { return protocol::buildPathCommand(SysexId::FileRequest, 0, path); }
Bytes fileHeader(std::uint32_t size, std::string_view path) { return protocol::buildFileHeader(0, size, path); }

// Time between two trace entries.
std::chrono::microseconds between(const TraceEntry& a, const TraceEntry& b) { return b.time - a.time; }

// The trace entries of one direction that match `id`.
std::vector<TraceEntry> traced(Instrument& instrument, TraceEntry::Direction direction, SysexId id) {
  std::vector<TraceEntry> out;
  for (const TraceEntry& e : instrument.trace().entries()) {
    if (e.direction == direction && protocol::matches(id, e.bytes)) out.push_back(e);
  }
  return out;
}
std::vector<TraceEntry> sent(Instrument& instrument, SysexId id) {
  return traced(instrument, TraceEntry::Direction::Out, id);
}
std::vector<TraceEntry> received(Instrument& instrument, SysexId id) {
  return traced(instrument, TraceEntry::Direction::In, id);
}

std::string nameOfParam(const ::testing::TestParamInfo<SysexId>& param) {
  return std::string(protocol::sysexName(param.param));
}

// --- The instrument sends a file ---

TEST(InstrumentSendsFile, StreamsALongFileByteExactWithWrappingCounters) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(130 * 210 + 17);  // 131 blocks: the counter wraps after 127
  h.addFolder({"POPS"});
  h.addFile({"POPS", "LONG.MID"}, data);

  const Bytes header = h.ask(fileRequest("0:\\pops\\long.mid"));
  ASSERT_TRUE(is(SysexId::FileHeader, header));
  EXPECT_EQ(replyNumber(header), data.size());

  const auto stream = h.exchange(message(SysexId::Ready));
  ASSERT_EQ(stream.size(), 132u);
  for (std::size_t i = 0; i < 131; ++i) {
    ASSERT_TRUE(is(SysexId::BulkBlock, stream[i])) << i;
    EXPECT_EQ(stream[i][8], i % 128) << i;
    EXPECT_EQ(stream[i].size(), i < 130 ? 251u : 11u + protocol::packedSize(17)) << i;
  }
  EXPECT_EQ(stream.back(), message(SysexId::EndOfData));
  const ReceivedStream s = decodeStream(stream);
  EXPECT_EQ(s.fault, "");
  EXPECT_TRUE(s.endOfData);
  EXPECT_EQ(s.data, data);

  // Finished ends the transfer without an answer; commands are served again.
  EXPECT_TRUE(h.exchange(message(SysexId::Finished)).empty());
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  EXPECT_TRUE(h.exchange(message(SysexId::Ready)).empty());
}

TEST(InstrumentSendsFile, SizesAroundTheChunkBoundary) {
  for (std::size_t size : {1u, 6u, 7u, 8u, 209u, 210u, 211u, 420u, 421u}) {
    InstrumentHarness h;
    h.enterTransferMode();
    const Bytes data = patternBytes(size, static_cast<std::uint32_t>(size));
    h.addFile({"F.MID"}, data);
    std::uint32_t announced = 0;
    const ReceivedStream s = fetchFile(h, "0:\\F.MID", &announced);
    EXPECT_EQ(announced, size);
    EXPECT_EQ(s.fault, "") << size;
    EXPECT_EQ(s.blocks, (size + 209) / 210) << size;
    EXPECT_EQ(s.data, data) << size;
  }
}

TEST(InstrumentSendsFile, EmptyFileIsOnlyEndOfData) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"EMPTY.MID"}, Bytes{});
  EXPECT_EQ(h.ask(fileRequest("0:\\EMPTY.MID")),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x02, 0x01, 0x00, 0,   0,   0,   0,    '0', ':',
                   '\\', 'E',  'M',  'P',  'T',  'Y',  '.',  'M', 'I', 'D', 0x00, 0xF7}));
  EXPECT_EQ(h.exchange(message(SysexId::Ready)), std::vector<Bytes>{message(SysexId::EndOfData)});
}

TEST(InstrumentSendsFile, ReadOnlyFilesCanBeFetched) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(300);
  h.addFile({"RO.MID"}, data, true);
  EXPECT_EQ(fetchFile(h, "0:\\RO.MID").data, data);
}

TEST(InstrumentSendsFile, RefusesWhatIsNotAFile) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"A.MID"}, Bytes(5, 5));
  for (std::string_view path :
       {"0:\\B.MID", "0:\\POPS", "0:\\NOPE\\A.MID", "0:\\A.MID\\X", "0:", "0:\\", "A.MID", ""}) {
    EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(fileRequest(path)))) << path;
    EXPECT_TRUE(h.exchange(message(SysexId::Ready)).empty()) << path;
  }
  // No NUL, or a byte after it.
  EXPECT_TRUE(
      is(SysexId::CommandRefused,
         h.ask(protocol::buildMessage(SysexId::FileRequest, 0, Bytes{'0', ':', '\\', 'A', '.', 'M', 'I', 'D'}))));
  EXPECT_TRUE(
      is(SysexId::CommandRefused,
         h.ask(protocol::buildMessage(SysexId::FileRequest, 0, Bytes{'0', ':', '\\', 'A', '.', 'M', 'I', 'D', 0, 1}))));
}

TEST(InstrumentSendsFile, StreamsNothingBeforeReady) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(500));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  EXPECT_TRUE(h.drain().empty());
  EXPECT_EQ(decodeStream(h.exchange(message(SysexId::Ready))).data, patternBytes(500));
}

TEST(InstrumentSendsFile, ACommandInsteadOfReadyAbandonsTheTransfer) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(500));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  EXPECT_TRUE(is(SysexId::FreeSpaceReply, h.ask(message(SysexId::FreeSpaceRequest))));
  EXPECT_TRUE(h.exchange(message(SysexId::Ready)).empty());
}

TEST(InstrumentSendsFile, TransfersOneAfterAnotherStartTheirCountersAtZero) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(700, 1));
  h.addFile({"B.MID"}, patternBytes(300, 2));
  EXPECT_EQ(fetchFile(h, "0:\\A.MID").data, patternBytes(700, 1));
  const ReceivedStream s = fetchFile(h, "0:\\B.MID");
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.data, patternBytes(300, 2));
}

// The PC breaks a stream off with Error (a bad block) or Cancel (the user). The
// instrument streams one block an hour here, so only a stream that really stopped lets
// it fall idle, and a command after it is answered at once.
class InstrumentStreamBrokenOff : public ::testing::TestWithParam<SysexId> {};

TEST_P(InstrumentStreamBrokenOff, StopsTheRemainingBlocks) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.timeScale = 1.0;
  o.blockInterval = std::chrono::hours(1);
  InstrumentHarness h(o);
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(1000));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  h.send(message(SysexId::Ready));
  ASSERT_TRUE(h.waitForMessages(1));
  EXPECT_EQ(h.exchange(message(GetParam())).size(), 1u) << "only the first block went out";
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  EXPECT_TRUE(is(SysexId::FindFirstReply, h.ask(protocol::buildFindFirst(0, 0x30, "0:\\*"))));
}

INSTANTIATE_TEST_SUITE_P(ErrorAndCancel, InstrumentStreamBrokenOff, ::testing::Values(SysexId::Error, SysexId::Cancel),
                         nameOfParam);

TEST(InstrumentSendsFile, ACommandInTheMiddleOfAStreamStopsItAndIsServed) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.timeScale = 1.0;
  o.blockInterval = std::chrono::hours(1);
  InstrumentHarness h(o);
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(1000));
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  h.send(message(SysexId::Ready));
  ASSERT_TRUE(h.waitForMessages(1));
  const auto replies = h.exchange(message(SysexId::FreeSpaceRequest));
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_TRUE(is(SysexId::BulkBlock, replies[0]));
  EXPECT_TRUE(is(SysexId::FreeSpaceReply, replies[1]));
}

// --- The instrument receives a file ---

TEST(InstrumentReceivesFile, StoresALongFileByteExact) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  const Bytes data = patternBytes(129 * 210 + 100);  // 130 blocks: the counter wraps
  EXPECT_EQ(storeFile(h, "0:\\pops\\New.mid", data), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.names({"POPS"}), (std::vector<std::string>{"New.mid"}));
  EXPECT_EQ(h.fileContents({"POPS", "New.mid"}), data);
  // Served again after the transfer.
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  EXPECT_TRUE(h.exchange(blocksFor(data).front()).empty());
  EXPECT_EQ(h.fileContents({"POPS", "New.mid"}), data);
}

TEST(InstrumentReceivesFile, SizesAroundTheChunkBoundary) {
  InstrumentHarness h;
  h.enterTransferMode();
  for (std::size_t size : {1u, 7u, 8u, 209u, 210u, 211u, 420u, 421u}) {
    const Bytes data = patternBytes(size, static_cast<std::uint32_t>(size));
    EXPECT_EQ(storeFile(h, "0:\\F.MID", data), std::vector<Bytes>{message(SysexId::Finished)}) << size;
    EXPECT_EQ(h.fileContents({"F.MID"}), data) << size;
  }
}

TEST(InstrumentReceivesFile, EmptyFile) {
  InstrumentHarness h;
  h.enterTransferMode();
  EXPECT_EQ(storeFile(h, "0:\\EMPTY.MID", Bytes{}), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"EMPTY.MID"}), Bytes{});
}

TEST(InstrumentReceivesFile, ReplacesAWritableFileUnderItsStoredName) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"FIRST.MID"}, Bytes(1, 1));
  h.addFile({"SONG.MID"}, patternBytes(5000, 1));
  h.addFile({"LAST.MID"}, Bytes(1, 1));
  const Bytes data = patternBytes(300, 2);
  EXPECT_EQ(storeFile(h, "0:\\song.mid", data), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"SONG.MID"}), data);
  EXPECT_EQ(h.names().size(), 3u);
}

TEST(InstrumentReceivesFile, CreatesTheFileAsSoonAsTheHeaderIsAccepted) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"OLD.MID"}, patternBytes(100));
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(10, "0:\\NEW.MID"))));
  EXPECT_EQ(h.fileContents({"NEW.MID"}), Bytes{});
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(10, "0:\\OLD.MID"))));
  EXPECT_EQ(h.fileContents({"OLD.MID"}), Bytes{});
}

TEST(InstrumentReceivesFile, RefusesHeadersItCannotStore) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFolder({"POPS"});
  h.addFile({"RO.MID"}, Bytes(3, 3), true);
  for (std::string_view path : {"0:\\LONGNAME1.MID", "0:\\A.MIDI", "0:\\A B.MID", "0:\\NOPE\\A.MID", "0:\\POPS",
                                "0:\\RO.MID", "0:\\ro.mid", "0:", "0:\\", "0:\\POPS\\", "A.MID", "0:\\RO.MID\\A.MID"}) {
    EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(10, path)))) << path;
    // No transfer began: a block is not taken.
    EXPECT_TRUE(h.exchange(blocksFor(Bytes(10, 1)).front()).empty()) << path;
  }
  // Texts without their NUL, and headers too short to carry a size.
  EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildMessage(SysexId::FileHeader, 0, Bytes{0, 0, 0, 10, 'A'}))));
  EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildMessage(SysexId::FileHeader, 0, Bytes{0, 0, 10, 0}))));
  EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildMessage(SysexId::FileHeader, 0, Bytes{}))));
  EXPECT_EQ(h.names(), (std::vector<std::string>{"POPS", "RO.MID"}));
  EXPECT_TRUE(h.names({"POPS"}).empty());
  EXPECT_EQ(h.fileContents({"RO.MID"}), Bytes(3, 3));
}

TEST(InstrumentReceivesFile, RoomCountsClustersAndTheFileItReplaces) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.capacityBytes = 4096;
  InstrumentHarness h(o);
  h.enterTransferMode();
  h.addFile({"A.MID"}, Bytes(1, 1));  // one cluster of four used
  EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(3073, "0:\\B.MID"))));
  EXPECT_TRUE(h.names() == std::vector<std::string>{"A.MID"});
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(3072, "0:\\B.MID"))));
  EXPECT_TRUE(h.exchange(message(SysexId::Cancel)).empty());
  // Replacing A.MID may use its cluster too; B.MID is empty now.
  EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(4097, "0:\\A.MID"))));
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(4096, "0:\\A.MID"))));
}

TEST(InstrumentReceivesFile, AFileNeedsRoomForWholeClusters) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.capacityBytes = 4000;  // not a whole number of clusters
  InstrumentHarness h(o);
  h.enterTransferMode();
  h.addFile({"A.MID"}, Bytes(1, 1));  // 2976 bytes free: room for two clusters only
  EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(2976, "0:\\B.MID"))));
  EXPECT_TRUE(is(SysexId::Error, h.ask(fileHeader(2049, "0:\\B.MID"))));
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(2048, "0:\\B.MID"))));
}

TEST(InstrumentReceivesFile, SeveralFilesInARowEachStartAtCounterZero) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes a = patternBytes(1000, 1);
  const Bytes b = patternBytes(500, 2);
  EXPECT_EQ(storeFile(h, "0:\\A.MID", a), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(storeFile(h, "0:\\B.MID", b), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"A.MID"}), a);
  EXPECT_EQ(h.fileContents({"B.MID"}), b);
}

// A block the instrument must reject: the transfer ends with Error, later blocks and
// EndOfData are not taken, and the file keeps what arrived before.
struct BadBlock {
  const char* name;
  Bytes (*make)(const Bytes& good);
  friend void PrintTo(const BadBlock& b, std::ostream* out) { *out << b.name; }
};

Bytes withBadChecksum(const Bytes& good) {
  Bytes b = good;
  b[b.size() - 2] = static_cast<std::uint8_t>((b[b.size() - 2] + 1) & 0x7F);
  return b;
}
// The second block's data under another counter, its checksum made to fit.
Bytes withCounter(std::uint8_t counter) {
  const Bytes data = patternBytes(630);
  return blockFor(std::span(data).subspan(210, 210), counter);
}
Bytes withCounterRepeated(const Bytes&) { return withCounter(0); }
Bytes withCounterSkipped(const Bytes&) { return withCounter(2); }
Bytes withByteMissing(const Bytes& good) {
  Bytes b = good;
  b.erase(b.begin() + 20);
  return b;
}
Bytes withByteAdded(const Bytes& good) {
  Bytes b = good;
  b.insert(b.begin() + 20, 0x11);
  return b;
}
Bytes withCountTooSmall(const Bytes& good) {
  Bytes b = good;
  b[5] = static_cast<std::uint8_t>(b[5] - 1);
  return b;
}
Bytes withEmptyPayload(const Bytes&) { return protocol::buildBlock(0, {}, 1, protocol::blockChecksum({}, 1)); }
Bytes withOversizedPayload(const Bytes&) {
  // 241 payload bytes, one more than a full block's: 30 full groups and a lone
  // header byte, which unpack to no more than 210 file bytes. Count and checksum fit.
  Bytes payload(241, 0x01);
  for (std::size_t i = 0; i < payload.size(); i += 8) payload[i] = 0x00;
  return protocol::buildBlock(0, payload, 1, protocol::blockChecksum(payload, 1));
}

std::string badBlockName(const ::testing::TestParamInfo<BadBlock>& param) { return param.param.name; }

class InstrumentRejectsBlock : public ::testing::TestWithParam<BadBlock> {};

TEST_P(InstrumentRejectsBlock, EndsTheTransferAndKeepsThePartialFile) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  const auto blocks = blocksFor(data);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(630, "0:\\PART.MID"))));
  EXPECT_TRUE(h.exchange(blocks[0]).empty());
  EXPECT_EQ(h.exchange(GetParam().make(blocks[1])), std::vector<Bytes>{message(SysexId::Error)});
  EXPECT_TRUE(h.exchange(blocks[1]).empty());
  EXPECT_TRUE(h.exchange(blocks[2]).empty());
  EXPECT_TRUE(h.exchange(message(SysexId::EndOfData)).empty());
  EXPECT_EQ(h.fileContents({"PART.MID"}), Bytes(data.begin(), data.begin() + 210));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, InstrumentRejectsBlock,
    ::testing::Values(BadBlock{"BadChecksum", withBadChecksum}, BadBlock{"RepeatedCounter", withCounterRepeated},
                      BadBlock{"SkippedCounter", withCounterSkipped}, BadBlock{"ByteMissing", withByteMissing},
                      BadBlock{"ByteAdded", withByteAdded}, BadBlock{"CountTooSmall", withCountTooSmall},
                      BadBlock{"EmptyPayload", withEmptyPayload}, BadBlock{"OversizedPayload", withOversizedPayload}),
    badBlockName);

TEST(InstrumentReceivesFile, FirstBlockMustCarryCounterZero) {
  InstrumentHarness h;
  h.enterTransferMode();
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(10, "0:\\A.MID"))));
  EXPECT_EQ(h.exchange(blockFor(Bytes(10, 1), 1)), std::vector<Bytes>{message(SysexId::Error)});
  EXPECT_EQ(h.fileContents({"A.MID"}), Bytes{});
}

TEST(InstrumentReceivesFile, DataBeyondTheAnnouncedSizeIsAnError) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(420);
  const auto blocks = blocksFor(data);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(300, "0:\\A.MID"))));
  EXPECT_TRUE(h.exchange(blocks[0]).empty());
  EXPECT_EQ(h.exchange(blocks[1]), std::vector<Bytes>{message(SysexId::Error)});
  EXPECT_EQ(h.fileContents({"A.MID"}), Bytes(data.begin(), data.begin() + 210));
  // A header of 0 bytes takes no block at all.
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(0, "0:\\B.MID"))));
  EXPECT_EQ(h.exchange(blocks[0]), std::vector<Bytes>{message(SysexId::Error)});
}

TEST(InstrumentReceivesFile, EndOfDataBeforeTheAnnouncedSizeIsAnError) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(420);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(421, "0:\\A.MID"))));
  for (const Bytes& b : blocksFor(data)) EXPECT_TRUE(h.exchange(b).empty());
  EXPECT_EQ(h.exchange(message(SysexId::EndOfData)), std::vector<Bytes>{message(SysexId::Error)});
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
  EXPECT_TRUE(h.exchange(message(SysexId::EndOfData)).empty());
}

class InstrumentReceptionBrokenOff : public ::testing::TestWithParam<SysexId> {};

TEST_P(InstrumentReceptionBrokenOff, LeavesThePartialFileAndTakesNoMoreBlocks) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  const auto blocks = blocksFor(data);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(630, "0:\\PART.MID"))));
  EXPECT_TRUE(h.exchange(blocks[0]).empty());
  EXPECT_TRUE(h.exchange(message(GetParam())).empty());
  EXPECT_TRUE(h.exchange(blocks[1]).empty());
  EXPECT_TRUE(h.exchange(message(SysexId::EndOfData)).empty());
  EXPECT_EQ(h.fileContents({"PART.MID"}), Bytes(data.begin(), data.begin() + 210));
}

INSTANTIATE_TEST_SUITE_P(ErrorAndCancel, InstrumentReceptionBrokenOff,
                         ::testing::Values(SysexId::Error, SysexId::Cancel), nameOfParam);

TEST(InstrumentReceivesFile, ACommandInTheMiddleEndsTheReceptionAndIsServed) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  const auto blocks = blocksFor(data);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(630, "0:\\PART.MID"))));
  EXPECT_TRUE(h.exchange(blocks[0]).empty());
  EXPECT_TRUE(is(SysexId::IdentifyReply, h.ask(message(SysexId::IdentifyRequest))));
  EXPECT_TRUE(h.exchange(blocks[1]).empty());
  EXPECT_EQ(h.fileContents({"PART.MID"}), Bytes(data.begin(), data.begin() + 210));
}

TEST(InstrumentReceivesFile, BlocksForAnotherDeviceAreNotTaken) {
  InstrumentHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(420);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(420, "0:\\A.MID"))));
  EXPECT_TRUE(h.exchange(blocksFor(data, 1).front()).empty());
  for (const Bytes& b : blocksFor(data)) EXPECT_TRUE(h.exchange(b).empty());
  EXPECT_EQ(h.exchange(message(SysexId::EndOfData)), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
}

// Silence of the PC ends a transfer after the session time-out. Whether the time-out
// has passed can only be seen by what the instrument does with the next message, so
// each round pauses longer, until the instrument has given the transfer up or the
// watchdog runs out. The probe is a single EndOfData that would complete the file:
// Finished while the transfer lives, nothing once it has ended.
TEST(InstrumentReceivesFile, SilenceEndsTheTransfer) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.sessionTimeout = Milliseconds{10000};  // 100 ms at this time scale
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes data = patternBytes(210);
  const Bytes block = blocksFor(data).front();
  bool gaveUp = false;
  const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
  for (std::chrono::milliseconds pause{2}; !gaveUp && std::chrono::steady_clock::now() < deadline; pause *= 2) {
    EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(210, "0:\\A.MID"))));
    EXPECT_TRUE(h.exchange(block).empty());
    std::this_thread::sleep_for(pause);
    const auto answers = h.exchange(message(SysexId::EndOfData));
    if (!answers.empty()) {
      EXPECT_EQ(answers, std::vector<Bytes>{message(SysexId::Finished)});
    }
    // An empty file means the machine stalled before the block and the time-out came
    // early: that round proves nothing about the block, so it goes again.
    gaveUp = answers.empty() && h.fileContents({"A.MID"}) == data;
  }
  ASSERT_TRUE(gaveUp) << "the transfer never ended";
  // The file stays as far as it got, and takes no more blocks.
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
  EXPECT_TRUE(h.exchange(blockFor(Bytes(5, 5), 1)).empty());
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
}

TEST(InstrumentSendsFile, SilenceAfterTheFileHeaderEndsTheTransfer) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.sessionTimeout = Milliseconds{100};
  InstrumentHarness h(o);
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(100));
  bool gaveUp = false;
  const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
  for (std::chrono::milliseconds pause{2}; !gaveUp && std::chrono::steady_clock::now() < deadline; pause *= 2) {
    EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
    std::this_thread::sleep_for(pause);
    gaveUp = h.exchange(message(SysexId::Ready)).empty();
  }
  EXPECT_TRUE(gaveUp) << "the transfer never ended";
}

// The silence that ends a transfer is the PC's alone: a stream whose blocks are far
// apart, with nothing from the PC in between, runs to its end.
TEST(InstrumentSendsFile, ItsOwnSlowStreamIsNotSilence) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  // The PC's answer to the header must come within the silence time, also on a
  // loaded machine; the blocks then come six times that apart.
  o.sessionTimeout = Milliseconds{5000};  // 50 ms at this time scale
  o.blockInterval = Milliseconds{30000};  // 300 ms
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes data = patternBytes(630);
  h.addFile({"A.MID"}, data);
  EXPECT_TRUE(is(SysexId::FileHeader, h.ask(fileRequest("0:\\A.MID"))));
  const ReceivedStream s = decodeStream(h.exchange(message(SysexId::Ready)));
  EXPECT_EQ(s.fault, "");
  EXPECT_TRUE(s.endOfData);
  EXPECT_EQ(s.data, data);
}

// --- Flow control while it receives ---

TEST(InstrumentFlowControl, WaitsEveryNBlocksAndResumesWithReady) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.waitEveryBlocks = 2;
  o.waitDuration = Milliseconds{1000};  // 10 ms at this time scale
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes data = patternBytes(5 * 210 - 3);
  EXPECT_TRUE(is(SysexId::Ready, h.ask(fileHeader(static_cast<std::uint32_t>(data.size()), "0:\\A.MID"))));
  const auto blocks = blocksFor(data);
  ASSERT_EQ(blocks.size(), 5u);
  const std::vector<Bytes> pause{message(SysexId::Wait), message(SysexId::Ready)};
  EXPECT_TRUE(h.exchange(blocks[0]).empty());
  EXPECT_EQ(h.exchange(blocks[1]), pause);
  EXPECT_TRUE(h.exchange(blocks[2]).empty());
  EXPECT_EQ(h.exchange(blocks[3]), pause);
  EXPECT_TRUE(h.exchange(blocks[4]).empty());
  EXPECT_EQ(h.exchange(message(SysexId::EndOfData)), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(h.fileContents({"A.MID"}), data);

  // Each Ready comes no sooner than the pause after the block that caused it.
  const auto blocksIn = received(h.instrument(), SysexId::BulkBlock);
  const auto readies = sent(h.instrument(), SysexId::Ready);
  ASSERT_EQ(blocksIn.size(), 5u);
  ASSERT_EQ(readies.size(), 3u);  // the answer to the header, then one per pause
  EXPECT_GE(between(blocksIn[1], readies[1]), std::chrono::microseconds(9900));
  EXPECT_GE(between(blocksIn[3], readies[2]), std::chrono::microseconds(9900));
}

TEST(InstrumentFlowControl, BusyAfterEndOfDataSendsReadyThenFinished) {
  InstrumentOptions o = InstrumentHarness::fastOptions();
  o.busyAfterEndOfData = Milliseconds{1000};
  InstrumentHarness h(o);
  h.enterTransferMode();
  const Bytes data = patternBytes(300);
  EXPECT_EQ(storeFile(h, "0:\\A.MID", data), (std::vector<Bytes>{message(SysexId::Ready), message(SysexId::Finished)}));
  EXPECT_EQ(h.fileContents({"A.MID"}), data);
  const auto endIn = received(h.instrument(), SysexId::EndOfData);
  const auto finished = sent(h.instrument(), SysexId::Finished);
  ASSERT_EQ(endIn.size(), 1u);
  ASSERT_EQ(finished.size(), 1u);
  EXPECT_GE(between(endIn[0], finished[0]), std::chrono::microseconds(9900));
}

}  // namespace
}  // namespace quaverly::instrument::testing
