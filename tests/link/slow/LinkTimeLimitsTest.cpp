// The link's own time limits, waited out for real on the system's clock: each test
// here takes seconds. The limits are asserted from below only; the upper bounds are
// generous and only catch a limit that is far too long or missing. The exact limits,
// from both sides, are pinned on a virtual clock in TimeLimitsTest.cpp; these tests
// check that the system's clock keeps them.
#include <gtest/gtest.h>

#include "app/protocol/wire/BlockCodec.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;
using std::chrono::seconds;

Bytes message(SysexId id, std::uint8_t device = 0) { return buildMessage(id, device); }

auto isMessage(SysexId id) {
  return [id](const Bytes& m) { return is(id, m); };
}

struct Scripted {
  FakePortLibrary ports;
  TransferProgress progress;
  BulkTransfer bulk{Link::instance(), progress, PacingSettings{256, 0}};
  Link& link = Link::instance();
};

TEST(LinkTimeLimits, APauseWithoutReadyEndsTheSendingAfterTenSeconds) {
  Scripted s;
  s.ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::BulkBlock, m) && m[8] == 0) s.ports.deliver(message(SysexId::Wait));
  });
  const auto start = Clock::now();
  EXPECT_EQ(s.bulk.sendBlocks(patternBytes(3 * 210)), kLinkTimedOut);
  const auto took = Clock::now() - start;
  EXPECT_TRUE(s.link.state().timedOut);
  EXPECT_GE(took, seconds(10));
  EXPECT_LT(took, seconds(25));
  std::size_t blocks = 0;
  for (const Bytes& m : s.ports.sent()) blocks += is(SysexId::BulkBlock, m) ? 1 : 0;
  EXPECT_EQ(blocks, 1u) << "blocks went out during the pause";
}

TEST(LinkTimeLimits, ADeleteAnsweredAfterThreeSecondsSucceeds) {
  auto options = LinkHarness::fastOptions();
  options.timeScale = 1.0;
  options.faults.deleteDelay = milliseconds(3000);
  LinkHarness h(options);
  h.enterTransferMode();
  h.addFile({"SLOW.MID"}, patternBytes(100));
  const auto start = Clock::now();
  EXPECT_EQ(deleteFile(h.link(), "0:\\SLOW.MID"), kLinkSuccess);
  EXPECT_GE(Clock::now() - start, seconds(3));
  EXPECT_FALSE(h.fileContents({"SLOW.MID"}));
}

// The reply comes a little after the limit of two seconds: a tenth of a second, so
// that a machine busy enough to wake the waiting thread late cannot let it in.
TEST(LinkTimeLimits, AReplyAfterTheLimitTimesOutAndIsJudgedByTheNextRequest) {
  Scripted s;
  s.ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::Rename, m)) s.ports.deliverLater(message(SysexId::CommandAccepted), milliseconds(2100));
    if (is(SysexId::FreeSpaceRequest, m)) s.ports.deliver(buildFreeSpaceReply(0, 4096));
  });
  EXPECT_EQ(renameEntry(s.link, "0:\\A.MID", "0:\\B.MID"), kLinkTimedOut);
  EXPECT_TRUE(s.link.state().timedOut);
  ASSERT_TRUE(s.ports.waitFor(PortEvent::Kind::Delivered, isMessage(SysexId::CommandAccepted)));

  // The late acceptance ends the next request; that request's own reply is left for
  // the one after it.
  std::uint32_t freeBytes = 0;
  EXPECT_EQ(freeSpace(s.link, freeBytes), kLinkSuccess);
  EXPECT_NE(freeBytes, 4096u);
  EXPECT_EQ(freeSpace(s.link, freeBytes), kLinkSuccess);
  EXPECT_EQ(freeBytes, 4096u);
}

TEST(LinkTimeLimits, WaitGivesTheHeaderTenSecondsMore) {
  for (const bool wait : {false, true}) {
    SCOPED_TRACE(wait ? "with Wait" : "without Wait");
    Scripted s;
    s.ports.setReceiver([&](const Bytes& m) {
      if (!is(SysexId::FileHeader, m)) return;
      if (wait) s.ports.deliver(message(SysexId::Wait));
      s.ports.deliverLater(message(SysexId::Ready), milliseconds(2300));
    });
    const auto start = Clock::now();
    EXPECT_EQ(s.bulk.sendHeader(100, "0:\\A.MID"), wait ? kLinkSuccess : kLinkTimedOut);
    EXPECT_GE(Clock::now() - start, seconds(2));
    // Lets the late Ready arrive before the next case binds its own library.
    ASSERT_TRUE(s.ports.waitFor(PortEvent::Kind::Delivered, isMessage(SysexId::Ready)));
  }
}

TEST(LinkTimeLimits, NoBlockForTwoSecondsEndsTheReception) {
  Scripted s;
  const Bytes data = patternBytes(420);
  s.ports.setReceiver([&](const Bytes& m) {
    if (!is(SysexId::Ready, m)) return;
    std::uint8_t payload[kMaxPayloadBytes];
    const std::size_t p = packChunk(std::span(data).first(210), payload);
    s.ports.deliver(buildBlock(0, std::span(payload, p), 0, blockChecksum(std::span(payload, p), 0)));
  });
  Bytes buffer(data.size());
  const auto start = Clock::now();
  EXPECT_EQ(s.bulk.receiveBlocks(buffer), kLinkTimedOut);
  const auto took = Clock::now() - start;
  EXPECT_TRUE(s.link.state().timedOut);
  EXPECT_GE(took, seconds(2));
  EXPECT_LT(took, seconds(15));
  EXPECT_EQ(s.progress.progressBytes.load(), 210u);
  const auto sent = s.ports.sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(is(SysexId::Ready, sent[0]));
  EXPECT_TRUE(is(SysexId::Error, sent[1]));
}

TEST(LinkTimeLimits, ASendGivesUpWhenEverySendSlotStaysBusy) {
  Scripted s;
  s.ports.setBusyDumps(-1);
  const auto start = Clock::now();
  EXPECT_EQ(s.link.send(message(SysexId::FindNext)), kLinkNotSent);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, seconds(1)) << "gave up without giving the library time to free a slot";
  EXPECT_LT(took, seconds(20));
  EXPECT_LT(s.ports.dumpCalls(), 100000) << "the retries spin instead of pausing";
  EXPECT_TRUE(s.ports.sent().empty());
}

}  // namespace
}  // namespace quaverly::linktest
