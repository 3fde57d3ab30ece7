// The exchange of one request and its reply: sending through the port library, which
// received messages end which request, and what is dropped. The instrument is played
// by a script that answers inside the send, so that nothing here depends on timing.
#include <gtest/gtest.h>

#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;

class LinkExchange : public ::testing::Test {
 protected:
  FakePortLibrary ports;
  Link& link = Link::instance();
};

Bytes message(SysexId id, std::uint8_t device = 0) { return buildMessage(id, device); }

// A message that begins like `prefix` and runs on to `size` bytes, longer than a slot.
Bytes overlong(const Bytes& prefix, std::size_t size) {
  Bytes m = prefix;
  if (!m.empty() && m.back() == 0xF7) m.pop_back();
  while (m.size() + 1 < size) m.push_back('A');
  m.push_back(0xF7);
  return m;
}

TEST_F(LinkExchange, SendTriesAgainOnlyWhileEverySendSlotIsBusy) {
  const Bytes m = message(SysexId::FindNext);
  ports.setBusyDumps(3);
  EXPECT_EQ(link.send(m), kLinkSuccess);
  EXPECT_EQ(ports.dumpCalls(), 4);
  EXPECT_EQ(ports.sent(), std::vector<Bytes>{m});

  // A failure the system reports is final.
  ports.setDumpError(7);
  EXPECT_EQ(link.send(m), kLinkNotSent);
  EXPECT_EQ(ports.dumpCalls(), 5);
}

TEST_F(LinkExchange, ARequestThatCannotBeSentGivesResult2WithoutWaiting) {
  ports.setDumpError(7);
  TransferProgress progress;
  BulkTransfer bulk(link, progress, {});
  const auto start = Clock::now();
  // Each of these would wait two seconds or more for a reply that cannot come.
  EXPECT_EQ(deleteFile(link, "0:\\A.MID"), kLinkNotSent);
  EXPECT_EQ(bulk.sendHeader(10, "0:\\A.MID"), kLinkNotSent);
  EXPECT_EQ(bulk.sendEndOfData(), kLinkNotSent);
  std::uint32_t size = 0;
  EXPECT_EQ(bulk.requestFile("0:\\A.MID", size), kLinkNotSent);
  Bytes buffer(10);
  EXPECT_EQ(bulk.receiveBlocks(buffer), kLinkNotSent);
  EXPECT_LT(Clock::now() - start, milliseconds(1500));
}

TEST_F(LinkExchange, RepliesFromAnotherDeviceNumberAreTaken) {
  ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::DeleteFile, m)) ports.deliver(message(SysexId::CommandAccepted, 3));
    if (is(SysexId::FreeSpaceRequest, m)) {
      ports.deliver(Bytes{0xF0, 0x43, 0x53, 0x00, 0x01, 0x06, 0x01, 0x00, 0x00, 0x08, 0x00, 0xF7});
    }
  });
  EXPECT_EQ(deleteFile(link, "0:\\A.MID"), kLinkSuccess);
  std::uint32_t freeBytes = 0;
  EXPECT_EQ(freeSpace(link, freeBytes), kLinkSuccess);
  EXPECT_EQ(freeBytes, 1024u);
  for (const Bytes& sent : ports.sent()) EXPECT_EQ(sent[2], 0x50) << "requests go to device 0";
}

TEST_F(LinkExchange, MessagesThatDoNotAnswerACommandAreDropped) {
  ports.setReceiver([&](const Bytes& m) {
    if (!is(SysexId::Rename, m)) return;
    for (SysexId id : {SysexId::Ready, SysexId::Wait, SysexId::EndOfData, SysexId::Error, SysexId::FindNext}) {
      ports.deliver(message(id));
    }
    ports.deliver(buildIdentifyReply(0, 1, 2));
    ports.deliver(buildFindReply(SysexId::FindNextReply, 0, 0x20, 5, "0:\\X.MID"));
    ports.deliver(buildFreeSpaceReply(0, 5));
    ports.deliver(message(SysexId::CommandAccepted));
  });
  EXPECT_EQ(renameEntry(link, "0:\\A.MID", "0:\\B.MID"), kLinkSuccess);
}

TEST_F(LinkExchange, FindRepliesFillTheEntryAndABareAcceptanceKeepsThePreviousOne) {
  ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::FindFirst, m))
      ports.deliver(buildFindReply(SysexId::FindFirstReply, 0, 0x21, 1234567, "0:\\POPS\\A.MID"));
    if (is(SysexId::FindNext, m)) ports.deliver(message(SysexId::CommandAccepted));
  });
  DirectoryEntry entry;
  ASSERT_EQ(findFirst(link, kFindMaskFoldersAndFiles, "0:\\POPS\\*", entry), kLinkSuccess);
  EXPECT_EQ(entry.path, "0:\\POPS\\A.MID");
  EXPECT_EQ(entry.size, 1234567u);
  EXPECT_EQ(entry.attributes, 0x21);
  ASSERT_EQ(findNext(link, entry), kLinkSuccess);
  EXPECT_EQ(entry.path, "0:\\POPS\\A.MID");
  EXPECT_EQ(entry.size, 1234567u);
  EXPECT_EQ(entry.attributes, 0x21);
}

TEST_F(LinkExchange, AnOverlongMessageIsInvalidWhereverItIsJudged) {
  // A directory reply that would match by its beginning is dropped; the refusal after
  // it ends the find.
  const Bytes longReply = overlong(buildFindReply(SysexId::FindFirstReply, 0, 0x20, 10, "0:\\"), 300);
  ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::FindFirst, m)) {
      ports.deliver(longReply);
      ports.deliver(message(SysexId::CommandRefused));
    }
    // The answer to a file request is whatever comes: an invalid one fails it.
    if (is(SysexId::FileRequest, m)) ports.deliver(overlong(buildFileHeader(0, 100, "0:\\A.MID"), 280));
  });
  DirectoryEntry entry;
  EXPECT_EQ(findFirst(link, kFindMaskFoldersAndFiles, "0:\\*", entry), kLinkRefused);
  EXPECT_TRUE(entry.path.empty());

  TransferProgress progress;
  BulkTransfer bulk(link, progress, {});
  std::uint32_t size = 0;
  EXPECT_EQ(bulk.requestFile("0:\\A.MID", size), kLinkRefused);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace quaverly::linktest
