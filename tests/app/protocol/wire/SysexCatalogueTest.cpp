#include "app/protocol/wire/SysexCatalogue.h"

#include <gtest/gtest.h>

namespace quaverly::protocol {
namespace {

TEST(SysexCatalogue, EveryTemplateHasTheCommonHeaderAndFitsTheMask) {
  for (std::size_t i = 0; i < kSysexIdCount; ++i) {
    const auto id = static_cast<SysexId>(i);
    const SysexTemplate& t = sysexTemplate(id);
    SCOPED_TRACE(std::string(sysexName(id)));
    ASSERT_GE(t.length, 7);
    ASSERT_LE(t.length, kMaxTemplateBytes);
    EXPECT_EQ(t.bytes[0], 0xF0);
    EXPECT_EQ(t.bytes[1], 0x43);
    EXPECT_EQ(t.bytes[2], 0x50);
    // Each template recognises the message built from it, from any device.
    for (std::uint8_t device : {0, 5, 15}) {
      EXPECT_TRUE(matches(id, buildMessage(id, device, std::vector<std::uint8_t>(12, 0))));
    }
  }
}

TEST(SysexCatalogue, FixedRequestsCarryTheDeviceNumber) {
  EXPECT_EQ(buildMessage(SysexId::IdentifyRequest, 0), (Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x01, 0xF7}));
  EXPECT_EQ(buildMessage(SysexId::RemoteCheck, 15), (Bytes{0xF0, 0x43, 0x5F, 0x00, 0x00, 0x01, 0x01, 0xF7}));
  EXPECT_EQ(buildMessage(SysexId::FindNext, 2), (Bytes{0xF0, 0x43, 0x52, 0x00, 0x01, 0x05, 0x00, 0xF7}));
  EXPECT_EQ(buildMessage(SysexId::FreeSpaceRequest, 1), (Bytes{0xF0, 0x43, 0x51, 0x00, 0x01, 0x06, 0x00, 0x00, 0xF7}));
  EXPECT_EQ(buildMessage(SysexId::Error, 3), (Bytes{0xF0, 0x43, 0x53, 0x00, 0x03, 0x05, 0xF7}));
}

TEST(SysexCatalogue, MessagesWithFields) {
  EXPECT_EQ(buildRemoteMode(0, true), (Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x01, 0x00, 0x01, 0xF7}));
  EXPECT_EQ(buildRemoteMode(4, false), (Bytes{0xF0, 0x43, 0x54, 0x00, 0x00, 0x01, 0x00, 0x00, 0xF7}));
  EXPECT_EQ(buildPathCommand(SysexId::DeleteFile, 0, "0:\\A.MID"),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x01, 0x00, '0', ':', '\\', 'A', '.', 'M', 'I', 'D', 0x00, 0xF7}));
  EXPECT_EQ(buildRename(0, "0:\\A", "0:\\B"), (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x02, 0x00, '0', ':', '\\', 'A',
                                                     0x00, '0', ':', '\\', 'B', 0x00, 0xF7}));
  EXPECT_EQ(buildFindFirst(1, kFindMaskFoldersAndFiles, "0:\\*"),
            (Bytes{0xF0, 0x43, 0x51, 0x00, 0x01, 0x04, 0x00, 0x30, '0', ':', '\\', '*', 0x00, 0xF7}));
  EXPECT_EQ(buildFileHeader(0, 1000000, "0:\\S"),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x02, 0x01, 0x00, 0x00, 0x3D, 0x04, 0x40, '0', ':', '\\', 'S', 0x00, 0xF7}));
  EXPECT_EQ(buildPathCommand(SysexId::FileRequest, 0, "0:\\S"),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x02, 0x00, 0x01, '0', ':', '\\', 'S', 0x00, 0xF7}));
}

TEST(SysexCatalogue, InstrumentReplies) {
  EXPECT_EQ(buildIdentifyReply(2, 0x11, 0x22), (Bytes{0xF0, 0x43, 0x52, 0x00, 0x00, 0x00, 0x02, 0x11, 0x22, 0xF7}));
  EXPECT_EQ(buildFreeSpaceReply(0, 1024),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x01, 0x00, 0x00, 0x08, 0x00, 0xF7}));
  EXPECT_EQ(buildFindReply(SysexId::FindNextReply, 0, kAttributeFolder, 0, "0:\\P"),
            (Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x05, 0x01, 0x10, 0, 0, 0, 0, '0', ':', '\\', 'P', 0xF7}));
}

TEST(SysexCatalogue, TwentyEightBitNumbers) {
  EXPECT_EQ(encode28(1000000), (std::array<std::uint8_t, 4>{0x00, 0x3D, 0x04, 0x40}));
  EXPECT_EQ(encode28(0x0FFFFFFF), (std::array<std::uint8_t, 4>{0x7F, 0x7F, 0x7F, 0x7F}));
  // Bits above 27 are dropped.
  EXPECT_EQ(encode28(0xF0000001), (std::array<std::uint8_t, 4>{0x00, 0x00, 0x00, 0x01}));
  const std::array<std::uint8_t, 4> kilo{0x00, 0x00, 0x08, 0x00};
  EXPECT_EQ(decode28(kilo), 1024u);
  for (std::uint32_t v : {0u, 1u, 127u, 128u, 16383u, 16384u, 2097151u, 2097152u, 0x0FFFFFFFu}) {
    EXPECT_EQ(decode28(encode28(v)), v);
  }
}

TEST(SysexCatalogue, ReplyFromAnotherDeviceMatches) {
  const Bytes fromDevice3 = {0xF0, 0x43, 0x53, 0x00, 0x01, 0x7F, 0x01, 0x00, 0xF7};
  EXPECT_TRUE(matches(SysexId::CommandAccepted, fromDevice3));
  EXPECT_FALSE(matches(SysexId::CommandRefused, fromDevice3));
  // The high nibble of byte 2 still counts.
  const Bytes wrongHigh = {0xF0, 0x43, 0x63, 0x00, 0x01, 0x7F, 0x01, 0x00, 0xF7};
  EXPECT_FALSE(matches(SysexId::CommandAccepted, wrongHigh));
}

TEST(SysexCatalogue, IdentifyReplyIgnoresItsDataBytesButNeedsItsLength) {
  EXPECT_TRUE(matches(SysexId::IdentifyReply, Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x7F, 0x33, 0xF7}));
  EXPECT_FALSE(matches(SysexId::IdentifyReply, Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x00, 0xF7}));
  // Byte 9 is compared: it must close the message.
  EXPECT_FALSE(matches(SysexId::IdentifyReply, Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 1, 2, 3, 0xF7}));
}

TEST(SysexCatalogue, FreeSpaceReplyAndBulkBlockUseTheirOwnMasks) {
  EXPECT_TRUE(
      matches(SysexId::FreeSpaceReply, Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x01, 0x7F, 0x7F, 0x7F, 0x7F, 0xF7}));
  EXPECT_FALSE(
      matches(SysexId::FreeSpaceReply, Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x01, 0x00, 0x00, 0x08, 0x00}));
  EXPECT_TRUE(matches(SysexId::BulkBlock, Bytes{0xF0, 0x43, 0x57, 0x01, 0x01, 0x73, 0x02, 0x02, 0x05}));
  EXPECT_FALSE(matches(SysexId::BulkBlock, Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x73, 0x02, 0x02, 0x05}));
}

TEST(SysexCatalogue, ShortOrForeignMessagesDoNotMatch) {
  EXPECT_FALSE(matches(SysexId::Ready, Bytes{}));
  EXPECT_FALSE(matches(SysexId::Ready, Bytes{0xF0, 0x43, 0x50, 0x00, 0x03, 0x00}));
  EXPECT_FALSE(matches(SysexId::Ready, Bytes{0xF0, 0x41, 0x50, 0x00, 0x03, 0x00, 0xF7}));
  // Bytes after the pattern are not compared.
  EXPECT_TRUE(matches(SysexId::Ready, Bytes{0xF0, 0x43, 0x50, 0x00, 0x03, 0x00, 0xF7, 0x99}));
  // A FileHeader reply is matched by its first seven bytes only.
  EXPECT_TRUE(
      matches(SysexId::FileHeader, Bytes{0xF0, 0x43, 0x51, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0xF7}));
  EXPECT_FALSE(matches(SysexId::RemoteReady, buildMessage(SysexId::RemoteRefused, 0)));
}

// Each reader gives back what its builder put in, and nothing for a message cut short
// or a text without its NUL.
TEST(SysexCatalogue, ReadersGiveBackWhatTheBuildersPutIn) {
  const auto rename = parseRename(buildRename(3, "0:\\A.MID", "0:\\B.MID"));
  ASSERT_TRUE(rename);
  EXPECT_EQ(rename->oldPath, "0:\\A.MID");
  EXPECT_EQ(rename->newPath, "0:\\B.MID");
  EXPECT_EQ(parsePathCommand(buildPathCommand(SysexId::DeleteFile, 0, "0:\\X.MID")), "0:\\X.MID");
  const auto find = parseFindFirst(buildFindFirst(0, 0x30, "0:\\POPS\\*"));
  ASSERT_TRUE(find);
  EXPECT_EQ(find->attributeMask, 0x30);
  EXPECT_EQ(find->pattern, "0:\\POPS\\*");
  const auto header = parseFileHeader(buildFileHeader(0, 1000000, "0:\\S.MID"));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->size, 1000000u);
  EXPECT_EQ(header->path, "0:\\S.MID");
  EXPECT_EQ(parseFileHeaderReply(buildFileHeader(0, 300, "0:\\S.MID")), 300u);
  const auto entry = parseFindReply(buildFindReply(SysexId::FindNextReply, 0, 0x11, 128, "0:\\POPS"));
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->attributes, 0x11);
  EXPECT_EQ(entry->size, 128u);
  EXPECT_EQ(entry->path, "0:\\POPS");
  EXPECT_EQ(parseFreeSpaceReply(Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x01, 0x00, 0x00, 0x08, 0x00, 0xF7}), 1024u);

  const Bytes cut = {0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x01, 0x00, 0x00, 0xF7};
  EXPECT_FALSE(parseFreeSpaceReply(cut));
  EXPECT_FALSE(parseFileHeaderReply(cut));
  EXPECT_FALSE(parseFindReply(cut));
  EXPECT_FALSE(parseFindFirst(Bytes{0xF0, 0x43, 0x50, 0x00, 0x01, 0x04, 0x00, 0x30, 0xF7}));
  Bytes unterminated = buildPathCommand(SysexId::MakeFolder, 0, "0:\\NEW");
  unterminated.erase(unterminated.end() - 2);  // the NUL before F7
  EXPECT_FALSE(parsePathCommand(unterminated));
  Bytes twoTexts = buildRename(0, "0:\\A", "0:\\B");
  EXPECT_FALSE(parsePathCommand(twoTexts));
  twoTexts.erase(twoTexts.end() - 2);
  EXPECT_FALSE(parseRename(twoTexts));
}

}  // namespace
}  // namespace quaverly::protocol
