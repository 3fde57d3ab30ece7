// The instrument's record of the messages it received and sent, and how a record
// reads when printed.
#include "instrument/Trace.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "tests/instrument/InstrumentHarness.h"

namespace quaverly::instrument::testing {
namespace {

using protocol::SysexId;
using Direction = TraceEntry::Direction;

TEST(InstrumentTrace, RecordsEveryMessageInAndOutInOrderOfTime) {
  InstrumentHarness h;
  const Bytes foreign{0xF0, 0x41, 0x10, 0x42, 0xF7};
  h.exchange(foreign);
  h.ask(message(SysexId::IdentifyRequest));
  h.enterTransferMode();
  h.ask(message(SysexId::RemoteCheck));
  const auto entries = h.instrument().trace().entries();
  ASSERT_EQ(entries.size(), 6u);
  const std::vector<std::pair<Direction, Bytes>> expected{
      {Direction::In, foreign},
      {Direction::In, message(SysexId::IdentifyRequest)},
      {Direction::Out, protocol::buildIdentifyReply(0, 0, 0)},
      {Direction::In, protocol::buildRemoteMode(0, true)},
      {Direction::In, message(SysexId::RemoteCheck)},
      {Direction::Out, message(SysexId::RemoteReady)},
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].direction, expected[i].first) << i;
    EXPECT_EQ(entries[i].bytes, expected[i].second) << i;
    if (i > 0) {
      EXPECT_GE(entries[i].time, entries[i - 1].time) << i;
    }
  }
  EXPECT_GE(entries.front().time.count(), 0);
}

// The PC's thread records what comes in while the instrument's thread records what
// goes out: the entries' times must still rise in the order of the record.
TEST(InstrumentTrace, TimesRiseInRecordOrderWhenThreadsRecordAtOnce) {
  Trace trace(40000);
  auto writer = [&trace](Direction direction) {
    for (int i = 0; i < 20000; ++i) trace.record(direction, {0xF0, 0xF7});
  };
  std::thread in(writer, Direction::In);
  std::thread out(writer, Direction::Out);
  in.join();
  out.join();
  const auto entries = trace.entries();
  ASSERT_EQ(entries.size(), 40000u);
  std::size_t backwards = 0;
  for (std::size_t i = 1; i < entries.size(); ++i) {
    if (entries[i].time < entries[i - 1].time) ++backwards;
  }
  EXPECT_EQ(backwards, 0u);
}

TEST(InstrumentTrace, ListenerSeesEachEntryAsItIsRecorded) {
  Trace trace;
  std::vector<TraceEntry> seen;
  trace.setListener([&](const TraceEntry& e) { seen.push_back(e); });
  trace.record(Direction::In, {0xF0, 0x43, 0x50, 0x00, 0x03, 0x00, 0xF7});
  trace.record(Direction::Out, {0xF0, 0x43, 0x50, 0x00, 0x03, 0x03, 0xF7});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].direction, Direction::In);
  EXPECT_EQ(seen[1].bytes, message(SysexId::Finished));
  EXPECT_EQ(trace.entries().size(), 2u);
}

TEST(InstrumentTrace, FormatShowsTimeDirectionBytesAndName) {
  const TraceEntry in{std::chrono::microseconds(12345), Direction::In, message(SysexId::IdentifyRequest)};
  EXPECT_EQ(formatTraceEntry(in), "    12.345 in  F0 43 50 00 00 00 01 F7 (IdentifyRequest)");
  const TraceEntry out{std::chrono::microseconds(1500000), Direction::Out, protocol::buildIdentifyReply(2, 0x11, 0x22)};
  EXPECT_EQ(formatTraceEntry(out), "  1500.000 out F0 43 52 00 00 00 02 11 22 F7 (IdentifyReply)");
}

TEST(InstrumentTrace, FormatNamesEveryKindOfMessage) {
  const Bytes payload{0x00, 0x01, 0x02};
  const std::pair<Bytes, std::string> cases[] = {
      {protocol::buildRemoteMode(0, true), "(RemoteMode)"},
      {message(SysexId::RemoteRefused, 4), "(RemoteRefused)"},
      {protocol::buildFindFirst(0, 0x30, "0:\\*"), "(FindFirst)"},
      {protocol::buildFindReply(SysexId::FindNextReply, 0, 0x20, 5, "0:\\A.MID"), "(FindNextReply)"},
      {protocol::buildFreeSpaceReply(0, 1024), "(FreeSpaceReply)"},
      {message(SysexId::CommandRefused), "(CommandRefused)"},
      {protocol::buildFileHeader(0, 10, "0:\\A.MID"), "(FileHeader)"},
      {protocol::buildBlock(0, payload, 5, protocol::blockChecksum(payload, 5)), "(BulkBlock)"},
      {message(SysexId::Wait), "(Wait)"},
      {message(SysexId::Error), "(Error)"},
  };
  for (const auto& [bytes, name] : cases) {
    const std::string line = formatTraceEntry({std::chrono::microseconds(0), Direction::Out, bytes});
    EXPECT_EQ(line.substr(line.size() - name.size()), name) << line;
  }
}

TEST(InstrumentTrace, FormatLeavesUnknownMessagesUnnamed) {
  const TraceEntry foreign{std::chrono::microseconds(0), Direction::In, {0xF0, 0x41, 0x10, 0xF7}};
  EXPECT_EQ(formatTraceEntry(foreign), "     0.000 in  F0 41 10 F7");
  const TraceEntry empty{std::chrono::microseconds(1), Direction::In, {}};
  EXPECT_EQ(formatTraceEntry(empty), "     0.001 in ");
}

}  // namespace
}  // namespace quaverly::instrument::testing

namespace quaverly::instrument {
namespace {

TEST(TraceCapacity, KeepsOnlyTheLatestEntries) {
  Trace trace(3);
  for (std::uint8_t i = 0; i < 5; ++i) trace.record(TraceEntry::Direction::In, {i});
  const auto entries = trace.entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.front().bytes, std::vector<std::uint8_t>{2});
  EXPECT_EQ(entries.back().bytes, std::vector<std::uint8_t>{4});
}

}  // namespace
}  // namespace quaverly::instrument
