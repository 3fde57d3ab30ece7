// Every time limit of the link, pinned from both sides on a virtual clock: the reply
// that ends a request is taken when it comes exactly at the limit and not when it
// comes one millisecond later, and then the request gives up right after its limit,
// not at some later moment. A limit that is too short fails the first case, one that
// is too long the second. Nothing here waits in real time.
#include <gtest/gtest.h>

#include <functional>

#include "app/protocol/wire/BlockCodec.h"
#include "tests/link/VirtualClock.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;

Bytes message(SysexId id) { return buildMessage(id, 0); }

const Bytes kFile = patternBytes(3 * kMaxChunkBytes);

Bytes blockOf(std::size_t index) {
  const auto chunk = std::span(kFile).subspan(index * kMaxChunkBytes, kMaxChunkBytes);
  std::uint8_t payload[kMaxPayloadBytes];
  const std::size_t p = packChunk(chunk, payload);
  const auto counter = static_cast<std::uint8_t>(index);
  return buildBlock(0, std::span(payload, p), counter, blockChecksum(std::span(payload, p), counter));
}

// A scripted instrument and the transfer engine, on a virtual clock.
struct Virtual {
  FakePortLibrary ports;
  VirtualClock clock{ports};
  TransferProgress progress;
  BulkTransfer bulk{Link::instance(), progress, LinkHarness::unpaced()};
  Link& link = Link::instance();
};

struct Timed {
  milliseconds at;  // after the trigger went out
  Bytes message;
};

struct LimitCase {
  const char* name;
  SysexId trigger;           // the instrument's script starts when the link first sends this
  std::vector<Timed> first;  // what the instrument says before the ending reply
  Bytes reply;               // the reply that ends the request with success
  milliseconds inside;       // the latest reply that is still taken, after the trigger
  milliseconds outside;      // the earliest that is not
  std::function<LinkResult(Virtual&)> run;
};

const std::vector<Timed> kNothing;
const Timed kWaitAtOnce{milliseconds(0), message(SysexId::Wait)};

const LimitCase kCases[] = {
    // File commands: the limit counts from the send.
    {"delete file", SysexId::DeleteFile, kNothing, message(SysexId::CommandAccepted), milliseconds(120000),
     milliseconds(120001), [](Virtual& v) { return deleteFile(v.link, "0:\\A.MID"); }},
    {"rename", SysexId::Rename, kNothing, message(SysexId::CommandAccepted), milliseconds(2000), milliseconds(2001),
     [](Virtual& v) { return renameEntry(v.link, "0:\\A.MID", "0:\\B.MID"); }},
    {"find first", SysexId::FindFirst, kNothing, buildFindReply(SysexId::FindFirstReply, 0, 0x20, 5, "0:\\A.MID"),
     milliseconds(2000), milliseconds(2001),
     [](Virtual& v) {
       DirectoryEntry entry;
       return findFirst(v.link, kFindMaskFoldersAndFiles, "0:\\*", entry);
     }},
    {"find next", SysexId::FindNext, kNothing, buildFindReply(SysexId::FindNextReply, 0, 0x20, 5, "0:\\A.MID"),
     milliseconds(2000), milliseconds(2001),
     [](Virtual& v) {
       DirectoryEntry entry;
       return findNext(v.link, entry);
     }},
    {"free space", SysexId::FreeSpaceRequest, kNothing, buildFreeSpaceReply(0, 4096), milliseconds(2000),
     milliseconds(2001),
     [](Virtual& v) {
       std::uint32_t freeBytes = 0;
       return freeSpace(v.link, freeBytes);
     }},
    {"make folder", SysexId::MakeFolder, kNothing, message(SysexId::CommandAccepted), milliseconds(2000),
     milliseconds(2001), [](Virtual& v) { return makeFolder(v.link, "0:\\NEW"); }},
    {"delete folder", SysexId::DeleteFolder, kNothing, message(SysexId::CommandAccepted), milliseconds(2000),
     milliseconds(2001), [](Virtual& v) { return deleteFolder(v.link, "0:\\OLD"); }},

    // The file header answering a file request.
    {"file request", SysexId::FileRequest, kNothing, buildFileHeader(0, 100, "0:\\A.MID"), milliseconds(2000),
     milliseconds(2001),
     [](Virtual& v) {
       std::uint32_t size = 0;
       return v.bulk.requestFile("0:\\A.MID", size);
     }},

    // Ready answering a file header; each Wait adds ten seconds to the limit, which
    // still counts from the send, not from the Wait.
    {"file header", SysexId::FileHeader, kNothing, message(SysexId::Ready), milliseconds(2000), milliseconds(2001),
     [](Virtual& v) { return v.bulk.sendHeader(100, "0:\\A.MID"); }},
    {"file header after a Wait",
     SysexId::FileHeader,
     {kWaitAtOnce},
     message(SysexId::Ready),
     milliseconds(12000),
     milliseconds(12001),
     [](Virtual& v) { return v.bulk.sendHeader(100, "0:\\A.MID"); }},
    {"file header after a late Wait",
     SysexId::FileHeader,
     {{milliseconds(1500), message(SysexId::Wait)}},
     message(SysexId::Ready),
     milliseconds(12000),
     milliseconds(12001),
     [](Virtual& v) { return v.bulk.sendHeader(100, "0:\\A.MID"); }},
    {"file header after two Waits",
     SysexId::FileHeader,
     {kWaitAtOnce, {milliseconds(11000), message(SysexId::Wait)}},
     message(SysexId::Ready),
     milliseconds(22000),
     milliseconds(22001),
     [](Virtual& v) { return v.bulk.sendHeader(100, "0:\\A.MID"); }},

    // A Wait after the first block pauses the stream; Ready resumes it. A second Wait
    // starts the pause again.
    {"pause",
     SysexId::BulkBlock,
     {kWaitAtOnce},
     message(SysexId::Ready),
     milliseconds(10000),
     milliseconds(10001),
     [](Virtual& v) { return v.bulk.sendBlocks(kFile); }},
    {"pause renewed by a second Wait",
     SysexId::BulkBlock,
     {kWaitAtOnce, {milliseconds(4000), message(SysexId::Wait)}},
     message(SysexId::Ready),
     milliseconds(14000),
     milliseconds(14001),
     [](Virtual& v) { return v.bulk.sendBlocks(kFile); }},

    // Finished answering end of data; each Wait adds ten seconds, and Ready starts the
    // time again with the limit it has reached.
    {"end of data", SysexId::EndOfData, kNothing, message(SysexId::Finished), milliseconds(60000), milliseconds(60001),
     [](Virtual& v) { return v.bulk.sendEndOfData(); }},
    {"end of data after three Waits",
     SysexId::EndOfData,
     {kWaitAtOnce, kWaitAtOnce, kWaitAtOnce},
     message(SysexId::Finished),
     milliseconds(90000),
     milliseconds(90001),
     [](Virtual& v) { return v.bulk.sendEndOfData(); }},
    {"end of data after a late Wait",
     SysexId::EndOfData,
     {{milliseconds(59000), message(SysexId::Wait)}},
     message(SysexId::Finished),
     milliseconds(70000),
     milliseconds(70001),
     [](Virtual& v) { return v.bulk.sendEndOfData(); }},
    {"end of data restarted by Ready",
     SysexId::EndOfData,
     {{milliseconds(30000), message(SysexId::Ready)}},
     message(SysexId::Finished),
     milliseconds(90000),
     milliseconds(90001),
     [](Virtual& v) { return v.bulk.sendEndOfData(); }},
    {"end of data restarted by Ready after a Wait",
     SysexId::EndOfData,
     {kWaitAtOnce, {milliseconds(50000), message(SysexId::Ready)}},
     message(SysexId::Finished),
     milliseconds(120000),
     milliseconds(120001),
     [](Virtual& v) { return v.bulk.sendEndOfData(); }},

    // A reception ends when no block came for two seconds; the time starts at Ready
    // and again at every good block.
    {"reception without a block", SysexId::Ready, kNothing, message(SysexId::EndOfData), milliseconds(2000),
     milliseconds(2001),
     [](Virtual& v) {
       Bytes buffer(kFile.size());
       return v.bulk.receiveBlocks(buffer);
     }},
    {"reception after a block",
     SysexId::Ready,
     {{milliseconds(1500), blockOf(0)}},
     message(SysexId::EndOfData),
     milliseconds(3500),
     milliseconds(3501),
     [](Virtual& v) {
       Bytes buffer(kFile.size());
       return v.bulk.receiveBlocks(buffer);
     }},
    {"reception after two blocks",
     SysexId::Ready,
     {{milliseconds(1500), blockOf(0)}, {milliseconds(3000), blockOf(1)}},
     message(SysexId::EndOfData),
     milliseconds(5000),
     milliseconds(5001),
     [](Virtual& v) {
       Bytes buffer(kFile.size());
       return v.bulk.receiveBlocks(buffer);
     }},
};

struct Outcome {
  LinkResult result;
  bool timedOut;
  Clock::duration took;     // virtual time from the trigger to the return
  std::size_t undelivered;  // scheduled messages that never reached the link
};

Outcome run(const LimitCase& c, milliseconds replyAt) {
  Virtual v;
  std::optional<Clock::time_point> triggered;
  v.ports.setReceiver([&](const Bytes& m) {
    if (triggered || !is(c.trigger, m)) return;
    triggered = v.clock.now();
    for (const Timed& t : c.first) v.clock.deliverAfter(t.at, t.message);
    v.clock.deliverAfter(replyAt, c.reply);
  });
  const LinkResult result = c.run(v);
  if (!triggered) ADD_FAILURE() << "the request never sent what starts the script";
  return {result, v.link.state().timedOut, v.clock.now() - triggered.value_or(v.clock.now()), v.clock.pending()};
}

// Failures name the case, not its bytes.
void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class TimeLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(TimeLimits, AReplyAtTheLimitIsTakenAndOneAMillisecondLaterIsNot) {
  const LimitCase& c = GetParam();
  ASSERT_EQ(c.outside - c.inside, milliseconds(1));

  const Outcome inside = run(c, c.inside);
  EXPECT_EQ(inside.result, kLinkSuccess) << "reply at " << c.inside.count() << " ms";
  EXPECT_FALSE(inside.timedOut);
  EXPECT_EQ(inside.took, c.inside) << "the request did not end when its reply came";

  const Outcome outside = run(c, c.outside);
  EXPECT_EQ(outside.result, kLinkTimedOut) << "reply at " << c.outside.count() << " ms";
  EXPECT_TRUE(outside.timedOut);
  EXPECT_GT(outside.took, c.inside);
  EXPECT_LT(outside.took, c.outside) << "the request waited on past its limit";
  EXPECT_EQ(outside.undelivered, 1u) << "the late reply reached the request";
}

INSTANTIATE_TEST_SUITE_P(Link, TimeLimits, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LimitCase>& param) { return testName(param.param.name); });

// What happens around a time-out, on the same clock.

TEST(TimeLimitsAround, AReplyAfterTheLimitIsJudgedByTheNextRequest) {
  Virtual v;
  v.ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::Rename, m)) v.clock.deliverAfter(milliseconds(2001), message(SysexId::CommandAccepted));
    if (is(SysexId::FreeSpaceRequest, m)) v.clock.deliverAfter(milliseconds(5), buildFreeSpaceReply(0, 4096));
  });
  EXPECT_EQ(renameEntry(v.link, "0:\\A.MID", "0:\\B.MID"), kLinkTimedOut);
  // The late acceptance ends the next request a millisecond later, before its own
  // reply; that reply is left for the request after it.
  std::uint32_t freeBytes = 0;
  EXPECT_EQ(freeSpace(v.link, freeBytes), kLinkSuccess);
  EXPECT_EQ(freeBytes, 0u);
  EXPECT_EQ(freeSpace(v.link, freeBytes), kLinkSuccess);
  EXPECT_EQ(freeBytes, 4096u);
}

TEST(TimeLimitsAround, AStreamPausedTooLongSendsNoMoreBlocks) {
  Virtual v;
  v.ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::BulkBlock, m) && m[8] == 0) v.clock.deliverAfter(milliseconds(0), message(SysexId::Wait));
  });
  EXPECT_EQ(v.bulk.sendBlocks(kFile), kLinkTimedOut);
  EXPECT_EQ(v.ports.sent().size(), 1u);
}

TEST(TimeLimitsAround, AReceptionThatRanOutAnswersWithError) {
  Virtual v;
  v.ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::Ready, m)) v.clock.deliverAfter(milliseconds(1000), blockOf(0));
  });
  Bytes buffer(kFile.size());
  EXPECT_EQ(v.bulk.receiveBlocks(buffer), kLinkTimedOut);
  EXPECT_EQ(v.progress.progressBytes.load(), kMaxChunkBytes);
  const auto sent = v.ports.sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_TRUE(is(SysexId::Error, sent[1]));
  EXPECT_GT(v.clock.elapsed(), milliseconds(3000));
  EXPECT_LT(v.clock.elapsed(), milliseconds(3001));
}

// While every send slot stays busy a send tries again each millisecond, for five
// seconds: a slot that frees at 5000 ms is taken, one at 5001 ms is not.
TEST(TimeLimitsAround, ASendKeepsTryingForFiveSeconds) {
  struct Case {
    int busyDumps;
    LinkResult result;
  };
  for (const Case c : {Case{5000, kLinkSuccess}, Case{5001, kLinkNotSent}}) {
    SCOPED_TRACE(c.busyDumps);
    Virtual v;
    v.ports.setBusyDumps(c.busyDumps);
    EXPECT_EQ(v.link.send(message(SysexId::FindNext)), c.result);
    EXPECT_EQ(v.ports.dumpCalls(), 5001);
    EXPECT_EQ(v.clock.elapsed(), milliseconds(5000));
  }
}

}  // namespace
}  // namespace quaverly::linktest
