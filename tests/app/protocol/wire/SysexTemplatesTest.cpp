// Every message of the catalogue, typed out as literal bytes and masks, independently
// of the table and the builders: a template or mask changed in the table (two
// handshakes swapped, a byte mistyped) fails here, even where the virtual instrument
// would still understand the program because it shares the table.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {
namespace {

std::vector<std::uint8_t> hex(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::uint8_t> bytes;
  unsigned value = 0;
  while (in >> std::hex >> value) bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

constexpr const char* kDefault = "FF FF F0 FF FF FF FF FF FF FF FF 00";

struct Expected {
  SysexId id;
  const char* bytes;  // device number 0; an open-ended template stops before its fields
  const char* mask;
};

const Expected kExpected[] = {
    {SysexId::IdentifyRequest, "F0 43 50 00 00 00 01 F7", kDefault},
    {SysexId::IdentifyReply, "F0 43 50 00 00 00 02 00 00 F7", "FF FF F0 FF FF FF FF 00 00 FF"},
    {SysexId::RemoteMode, "F0 43 50 00 00 01 00", kDefault},
    {SysexId::RemoteCheck, "F0 43 50 00 00 01 01 F7", kDefault},
    {SysexId::RemoteReady, "F0 43 50 00 00 01 02 01 F7", kDefault},
    {SysexId::RemoteRefused, "F0 43 50 00 00 01 02 00 F7", kDefault},
    {SysexId::MakeFolder, "F0 43 50 00 01 00 00", kDefault},
    {SysexId::DeleteFile, "F0 43 50 00 01 01 00", kDefault},
    {SysexId::Rename, "F0 43 50 00 01 02 00", kDefault},
    {SysexId::DeleteFolder, "F0 43 50 00 01 03 00", kDefault},
    {SysexId::FindFirst, "F0 43 50 00 01 04 00", kDefault},
    {SysexId::FindFirstReply, "F0 43 50 00 01 04 01", kDefault},
    {SysexId::FindNext, "F0 43 50 00 01 05 00 F7", kDefault},
    {SysexId::FindNextReply, "F0 43 50 00 01 05 01", kDefault},
    {SysexId::FreeSpaceRequest, "F0 43 50 00 01 06 00 00 F7", kDefault},
    {SysexId::FreeSpaceReply, "F0 43 50 00 01 06 01 00 00 00 00 F7", "FF FF F0 FF FF FF FF 00 00 00 00 FF"},
    {SysexId::CommandAccepted, "F0 43 50 00 01 7F 01 00 F7", kDefault},
    {SysexId::CommandRefused, "F0 43 50 00 01 7F 01 01 F7", kDefault},
    {SysexId::FileRequest, "F0 43 50 00 02 00 01", kDefault},
    {SysexId::FileHeader, "F0 43 50 00 02 01 00", kDefault},
    {SysexId::BulkBlock, "F0 43 50 01 00 00 02 02", "FF FF F0 FF 00 00 FF FF"},
    {SysexId::Ready, "F0 43 50 00 03 00 F7", kDefault},
    {SysexId::Wait, "F0 43 50 00 03 01 F7", kDefault},
    {SysexId::EndOfData, "F0 43 50 00 03 02 F7", kDefault},
    {SysexId::Finished, "F0 43 50 00 03 03 F7", kDefault},
    {SysexId::Cancel, "F0 43 50 00 03 04 F7", kDefault},
    {SysexId::Error, "F0 43 50 00 03 05 F7", kDefault},
};

TEST(SysexTemplates, EveryTemplateAndMaskIsAsTypedOut) {
  ASSERT_EQ(std::size(kExpected), kSysexIdCount);
  for (const Expected& e : kExpected) {
    SCOPED_TRACE(std::string(sysexName(e.id)));
    const SysexTemplate& t = sysexTemplate(e.id);
    const std::vector<std::uint8_t> bytes = hex(e.bytes);
    const std::vector<std::uint8_t> mask = hex(e.mask);
    ASSERT_EQ(t.length, bytes.size());
    EXPECT_EQ(std::vector<std::uint8_t>(t.bytes.begin(), t.bytes.begin() + t.length), bytes);
    // Only the positions within the pattern take part in matching.
    EXPECT_EQ(std::vector<std::uint8_t>(t.mask.begin(), t.mask.begin() + t.length),
              std::vector<std::uint8_t>(mask.begin(), mask.begin() + t.length));
  }
}

// A closed message is built as it is typed, with the device number in byte 2.
TEST(SysexTemplates, ClosedMessagesAreBuiltAsTypedOut) {
  for (const Expected& e : kExpected) {
    const std::vector<std::uint8_t> bytes = hex(e.bytes);
    if (bytes.back() != 0xF7) continue;
    SCOPED_TRACE(std::string(sysexName(e.id)));
    std::vector<std::uint8_t> onDevice9 = bytes;
    onDevice9[2] = 0x59;
    EXPECT_EQ(buildMessage(e.id, 9), onDevice9);
    EXPECT_TRUE(matches(e.id, onDevice9));
  }
}

}  // namespace
}  // namespace quaverly::protocol
