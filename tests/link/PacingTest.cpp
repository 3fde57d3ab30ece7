// The pacing of the block stream, on a virtual clock: where the sender pauses, for how
// long, and how many bytes go out between two pauses. A block costs its message
// length plus three bytes of the driver's framing (its payload plus 14); the sender
// pauses before a block when the bytes since the last pause plus that block would
// exceed the burst size, never before the first block of a file.
#include <gtest/gtest.h>

#include <numeric>

#include "app/protocol/wire/BlockCodec.h"
#include "tests/link/VirtualClock.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;

constexpr std::size_t kFramingBytes = 3;
constexpr std::size_t kFullBlockCost = 251 + kFramingBytes;  // 210 file bytes

// The stream as the log shows it: each block's wire cost, and the pauses, each
// before the block whose index it carries.
struct Stream {
  std::vector<std::size_t> costs;
  std::vector<std::size_t> pausedBefore;
  std::vector<milliseconds> pauses;
};

Stream streamOf(const std::vector<PortEvent>& events) {
  Stream s;
  for (const PortEvent& e : events) {
    if (e.kind == PortEvent::Kind::Paused) {
      s.pausedBefore.push_back(s.costs.size());
      s.pauses.push_back(e.pause);
    } else if (e.kind == PortEvent::Kind::Sent && is(SysexId::BulkBlock, e.bytes)) {
      s.costs.push_back(e.bytes.size() + kFramingBytes);
    }
  }
  return s;
}

struct PacingCase {
  const char* name;
  std::size_t fileBytes;
  PacingSettings pacing;
  std::vector<std::size_t> pausedBefore;  // block indices
  milliseconds pause;
};

const PacingCase kCases[] = {
    // With the defaults every full block after the first waits 100 ms.
    {"defaults", 5 * 210, PacingSettings{}, {1, 2, 3, 4}, milliseconds(100)},
    // Two full blocks fill a burst of 508 exactly: it is exceeding that pauses.
    {"two blocks fill the burst", 5 * 210, {508, 40}, {2, 4}, milliseconds(40)},
    {"two blocks exceed the burst by one", 5 * 210, {507, 40}, {1, 2, 3, 4}, milliseconds(40)},
    {"three blocks to a burst", 5 * 210, {762, 7}, {3}, milliseconds(7)},
    // A last block of one file byte costs 16 (payload 2).
    {"a short last block fits", 211, {270, 100}, {}, milliseconds(100)},
    {"a short last block exceeds by one", 211, {269, 100}, {1}, milliseconds(100)},
    // A block larger than the burst still goes, alone.
    {"a burst smaller than one block", 5 * 210, {100, 25}, {1, 2, 3, 4}, milliseconds(25)},
    {"a burst larger than the file", 30 * 210, {100000, 100}, {}, milliseconds(100)},
    {"an empty file", 0, PacingSettings{}, {}, milliseconds(100)},
    // Negative settings count as 0.
    {"negative settings", 3 * 210, {-1, -1}, {1, 2}, milliseconds(0)},
};

// Failures name the case, not its bytes.
void PrintTo(const PacingCase& c, std::ostream* os) { *os << c.name; }

class Pacing : public ::testing::TestWithParam<PacingCase> {};

TEST_P(Pacing, TheSenderPausesWhereTheBurstWouldBeExceeded) {
  const PacingCase& c = GetParam();
  FakePortLibrary ports;
  VirtualClock clock(ports);
  TransferProgress progress;
  BulkTransfer bulk(Link::instance(), progress, c.pacing);
  const Bytes data = patternBytes(c.fileBytes);
  ASSERT_EQ(bulk.sendBlocks(data), kLinkSuccess);

  const Stream s = streamOf(ports.events());
  ASSERT_EQ(s.costs.size(), (c.fileBytes + kMaxChunkBytes - 1) / kMaxChunkBytes);
  EXPECT_EQ(s.pausedBefore, c.pausedBefore);
  for (const milliseconds pause : s.pauses) EXPECT_EQ(pause, c.pause);
  // Nothing but the pauses takes time: they alone set the rate.
  EXPECT_EQ(clock.elapsed(), c.pause * s.pauses.size());

  // Between two pauses at most a burst goes out (a single block may be larger), and
  // the block after a pause would not have fitted before it.
  const auto burst = static_cast<std::size_t>(std::max(c.pacing.intervalByteCount, 0));
  std::vector<std::size_t> bounds = {0};
  bounds.insert(bounds.end(), s.pausedBefore.begin(), s.pausedBefore.end());
  bounds.push_back(s.costs.size());
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
    const auto from = s.costs.begin() + static_cast<std::ptrdiff_t>(bounds[i]);
    const auto to = s.costs.begin() + static_cast<std::ptrdiff_t>(bounds[i + 1]);
    const std::size_t bytes = std::accumulate(from, to, std::size_t{0});
    if (to - from > 1) {
      EXPECT_LE(bytes, burst) << "burst " << i;
    }
    if (to != s.costs.end()) {
      EXPECT_GT(bytes + *to, burst) << "paused before block " << bounds[i + 1] << " needlessly";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Link, Pacing, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PacingCase>& param) { return testName(param.param.name); });

TEST(PacingPerFile, EveryFileStartsWithAnEmptyBurst) {
  FakePortLibrary ports;
  VirtualClock clock(ports);
  TransferProgress progress;
  BulkTransfer bulk(Link::instance(), progress, PacingSettings{});
  for (int file = 0; file < 3; ++file) ASSERT_EQ(bulk.sendBlocks(patternBytes(210)), kLinkSuccess);
  const Stream s = streamOf(ports.events());
  EXPECT_EQ(s.costs, std::vector<std::size_t>(3, kFullBlockCost));
  EXPECT_TRUE(s.pauses.empty());
}

// The pause comes between the blocks, after the one before has gone out; a Wait that
// arrives during it still holds the block it precedes.
TEST(PacingPerFile, AWaitDuringAPauseHoldsTheNextBlock) {
  FakePortLibrary ports;
  VirtualClock clock(ports);
  TransferProgress progress;
  BulkTransfer bulk(Link::instance(), progress, PacingSettings{256, 100});
  ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::BulkBlock, m) && m[8] == 0) {
      clock.deliverAfter(milliseconds(50), buildMessage(SysexId::Wait, 0));
      clock.deliverAfter(milliseconds(3000), buildMessage(SysexId::Ready, 0));
    }
  });
  ASSERT_EQ(bulk.sendBlocks(patternBytes(3 * 210)), kLinkSuccess);
  std::vector<std::string> outline;
  for (const PortEvent& e : ports.events()) {
    const auto at = std::chrono::duration_cast<milliseconds>(clock.since(e.at)).count();
    if (e.kind == PortEvent::Kind::Paused) outline.push_back("pause " + std::to_string(e.pause.count()));
    if (e.kind == PortEvent::Kind::Sent)
      outline.push_back("block " + std::to_string(e.bytes[8]) + " at " + std::to_string(at));
    if (e.kind == PortEvent::Kind::Delivered)
      outline.push_back(std::string(is(SysexId::Wait, e.bytes) ? "Wait" : "Ready") + " at " + std::to_string(at));
  }
  EXPECT_EQ(outline, (std::vector<std::string>{"block 0 at 0", "pause 100", "Wait at 50", "Ready at 3000",
                                               "block 1 at 3000", "pause 100", "block 2 at 3100"}));
}

}  // namespace
}  // namespace quaverly::linktest
