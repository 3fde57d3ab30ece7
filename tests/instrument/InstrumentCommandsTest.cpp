#include <gtest/gtest.h>

#include "app/protocol/SysexCatalogue.h"
#include "tests/instrument/InstrumentHarness.h"

namespace quaverly::instrument::testing {
namespace {

using protocol::SysexId;

TEST(InstrumentCommands, IdentifiesAndEntersTransferMode) {
  InstrumentHarness h;
  EXPECT_EQ(h.ask(protocol::buildMessage(SysexId::IdentifyRequest, 0)),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xF7}));
  EXPECT_TRUE(is(SysexId::RemoteRefused, h.ask(protocol::buildMessage(SysexId::RemoteCheck, 0))));
  EXPECT_TRUE(h.exchange(protocol::buildRemoteMode(0, true)).empty());
  EXPECT_TRUE(is(SysexId::RemoteReady, h.ask(protocol::buildMessage(SysexId::RemoteCheck, 0))));
}

TEST(InstrumentCommands, ListsTheDriveAndSubFolders) {
  InstrumentHarness h;
  h.enterTransferMode();
  h.addFile({"B.MID"}, Bytes(5, 1));
  h.addFolder({"POPS"});
  h.addFile({"POPS", "A.MID"}, Bytes(300, 2), true);
  auto r = h.ask(protocol::buildFindFirst(0, 0x30, "0:\\*"));
  EXPECT_EQ(r, (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x04, 0x01, 0x20, 0, 0, 0, 5, '0', ':', '\\', 'B', '.', 'M', 'I', 'D', 0xF7}));
  r = h.ask(protocol::buildMessage(SysexId::FindNext, 0));
  EXPECT_TRUE(is(SysexId::FindNextReply, r));
  EXPECT_EQ(r[7], 0x10);
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(protocol::buildMessage(SysexId::FindNext, 0))));

  r = h.ask(protocol::buildFindFirst(0, 0x30, "0:\\pops\\*"));
  EXPECT_EQ(std::string(r.begin() + 12, r.end() - 1), "0:\\POPS\\.");
  r = h.ask(protocol::buildMessage(SysexId::FindNext, 0));
  EXPECT_EQ(std::string(r.begin() + 12, r.end() - 1), "0:\\POPS\\..");
  r = h.ask(protocol::buildMessage(SysexId::FindNext, 0));
  EXPECT_EQ(r[7], 0x21);
  EXPECT_EQ(protocol::decode28(std::span<const std::uint8_t, 4>(r.data() + 8, 4)), 300u);
}

}  // namespace
}  // namespace quaverly::instrument::testing
