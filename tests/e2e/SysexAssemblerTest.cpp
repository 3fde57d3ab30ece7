// The reassembly of SysEx messages that a MIDI API hands over in pieces.
#include "instrument/tool/SysexAssembler.h"

#include <gtest/gtest.h>

#include <vector>

namespace quaverly::instrument::tool {
namespace {

using Bytes = std::vector<std::uint8_t>;

class SysexAssemblerTest : public ::testing::Test {
 protected:
  explicit SysexAssemblerTest(std::size_t max = SysexAssembler::kDefaultMaxMessageBytes)
      : assembler_([this](SysexAssembler::Message m) { messages_.emplace_back(m.begin(), m.end()); }, max) {}

  void feed(const Bytes& bytes) { assembler_.feed(bytes); }

  std::vector<Bytes> messages_;
  SysexAssembler assembler_;
};

const Bytes kIdentify = {0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x01, 0xF7};

TEST_F(SysexAssemblerTest, PassesAWholeMessageOn) {
  feed(kIdentify);
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
  EXPECT_EQ(assembler_.droppedMessages(), 0u);
}

TEST_F(SysexAssemblerTest, JoinsPieces) {
  feed({0xF0, 0x43});
  feed({0x50, 0x00, 0x00});
  EXPECT_TRUE(messages_.empty());
  feed({0x00, 0x01, 0xF7});
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
}

TEST_F(SysexAssemblerTest, JoinsALongBlockFedOneByteAtATime) {
  Bytes block = {0xF0, 0x43, 0x50, 0x01, 0x01, 0x73, 0x02, 0x02, 0x00};
  for (int i = 0; i < 240; ++i) block.push_back(static_cast<std::uint8_t>(i & 0x7F));
  block.push_back(0x11);
  block.push_back(0xF7);
  ASSERT_EQ(block.size(), 251u);
  for (std::uint8_t b : block) feed({b});
  EXPECT_EQ(messages_, std::vector<Bytes>{block});
}

TEST_F(SysexAssemblerTest, SplitsTwoMessagesInOnePiece) {
  Bytes both = kIdentify;
  both.insert(both.end(), kIdentify.begin(), kIdentify.end());
  feed(both);
  EXPECT_EQ(messages_, (std::vector<Bytes>{kIdentify, kIdentify}));
}

TEST_F(SysexAssemblerTest, IgnoresRealTimeBytesInsideAMessageThatComesInPieces) {
  feed({0xF0, 0x43, 0xF8, 0x50});
  feed({0x00, 0xFE, 0x00, 0x00, 0x01, 0xF7});
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
  EXPECT_EQ(assembler_.droppedMessages(), 0u);
}

TEST_F(SysexAssemblerTest, DropsAMessageRestartedByANewStart) {
  feed({0xF0, 0x43, 0x50});
  feed(kIdentify);
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
  EXPECT_EQ(assembler_.droppedMessages(), 1u);
}

TEST_F(SysexAssemblerTest, KeepsShiftJisBytesOfAMessageThatComesWhole) {
  const Bytes deleteSo = {0xF0, 0x43, 0x50, 0x00, 0x01, 0x01, 0x00, '0', ':', '\\', 0x83, 0x5C, 0x00, 0xF7};
  feed(deleteSo);
  EXPECT_EQ(messages_, std::vector<Bytes>{deleteSo});
}

TEST_F(SysexAssemblerTest, DropsAMessageCutShortByAnotherStatusByte) {
  feed({0xF0, 0x43, 0x50});
  feed({0x90, 0x40, 0x7F, 0x00, 0xF7});
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(assembler_.droppedMessages(), 1u);
  feed(kIdentify);
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
}

TEST_F(SysexAssemblerTest, IgnoresBytesOutsideAMessage) {
  feed({0x90, 0x40, 0x7F, 0x12, 0xF7, 0x80});
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(assembler_.droppedMessages(), 0u);
  feed(kIdentify);
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
}

class BoundedSysexAssemblerTest : public SysexAssemblerTest {
 protected:
  BoundedSysexAssemblerTest() : SysexAssemblerTest(8) {}
};

TEST_F(BoundedSysexAssemblerTest, KeepsAMessageOfExactlyTheLimit) {
  feed(kIdentify);
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
}

TEST_F(BoundedSysexAssemblerTest, DropsALongerMessageWithoutKeepingItsBytes) {
  feed({0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x00, 0x01});
  feed(Bytes(100000, 0x55));
  feed({0xF7});
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(assembler_.droppedMessages(), 1u);
  feed(kIdentify);
  EXPECT_EQ(messages_, std::vector<Bytes>{kIdentify});
}

}  // namespace
}  // namespace quaverly::instrument::tool
