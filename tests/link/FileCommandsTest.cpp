// The file commands against the virtual instrument: what a listing carries, and that
// rename, delete and free space change and report the instrument's memory.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;

class FileCommands : public ::testing::Test {
 protected:
  void SetUp() override { h.enterTransferMode(); }
  LinkHarness h;
};

TEST_F(FileCommands, AListingCarriesEveryEntrysPathSizeAndAttributes) {
  h.addFolder({"POPS"});
  h.addFolder({"POPS", "OLD"});
  h.addFile({"POPS", "SONG1.MID"}, patternBytes(1234));
  h.addFile({"POPS", "EMPTY.MID"}, {});
  h.addFile({"POPS", "BIG.MID"}, patternBytes(200000));
  h.instrument().withMemory([](instrument::FileMemory& m) { m.setReadOnly({"POPS", "EMPTY.MID"}, true); });

  std::vector<DirectoryEntry> entries;
  EXPECT_EQ(h.listFolder("0:\\POPS", entries), kLinkRefused) << "a listing ends with the refusal of find next";
  struct Expected {
    std::string path;
    std::uint32_t size;
    std::uint8_t attributes;
  };
  const std::vector<Expected> expected = {
      {"0:\\POPS\\.", 0, kAttributeFolder},
      {"0:\\POPS\\..", 0, kAttributeFolder},
      {"0:\\POPS\\OLD", 0, kAttributeFolder},
      {"0:\\POPS\\SONG1.MID", 1234, 0x20},
      {"0:\\POPS\\EMPTY.MID", 0, 0x20 | kAttributeReadOnly},
      {"0:\\POPS\\BIG.MID", 200000, 0x20},
  };
  ASSERT_EQ(entries.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    // The instrument lists in its storage order; find each by path.
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const DirectoryEntry& e) { return e.path == expected[i].path; });
    ASSERT_NE(it, entries.end()) << expected[i].path;
    EXPECT_EQ(it->size, expected[i].size) << expected[i].path;
    EXPECT_EQ(it->attributes, expected[i].attributes) << expected[i].path;
  }
}

TEST_F(FileCommands, AFindInAMissingFolderIsRefusedWithNoEntry) {
  DirectoryEntry entry;
  EXPECT_EQ(findFirst(h.link(), kFindMaskFoldersAndFiles, "0:\\NOWHERE\\*", entry), kLinkRefused);
  EXPECT_TRUE(entry.path.empty());
}

TEST_F(FileCommands, RenameAndDeleteChangeTheMemoryOrAreRefused) {
  h.addFile({"A.MID"}, patternBytes(10));
  h.addFile({"B.MID"}, patternBytes(20));
  h.addFile({"KEEP.MID"}, patternBytes(30));
  h.instrument().withMemory([](instrument::FileMemory& m) { m.setReadOnly({"KEEP.MID"}, true); });
  Link& link = h.link();

  EXPECT_EQ(renameEntry(link, "0:\\A.MID", "0:\\C.MID"), kLinkSuccess);
  EXPECT_FALSE(h.fileContents({"A.MID"}));
  EXPECT_EQ(h.fileContents({"C.MID"}), patternBytes(10));
  EXPECT_EQ(renameEntry(link, "0:\\C.MID", "0:\\B.MID"), kLinkRefused) << "the new name is taken";
  EXPECT_EQ(renameEntry(link, "0:\\NONE.MID", "0:\\D.MID"), kLinkRefused);

  EXPECT_EQ(deleteFile(link, "0:\\B.MID"), kLinkSuccess);
  EXPECT_FALSE(h.fileContents({"B.MID"}));
  EXPECT_EQ(deleteFile(link, "0:\\B.MID"), kLinkRefused);
  EXPECT_EQ(deleteFile(link, "0:\\KEEP.MID"), kLinkRefused);
  EXPECT_TRUE(h.fileContents({"KEEP.MID"}));
}

TEST_F(FileCommands, FoldersAreMadeAndDeletedOrRefused) {
  Link& link = h.link();
  EXPECT_EQ(makeFolder(link, "0:\\NEW"), kLinkSuccess);
  EXPECT_EQ(makeFolder(link, "0:\\NEW"), kLinkRefused) << "it exists";
  EXPECT_EQ(makeFolder(link, "0:\\NONE\\SUB"), kLinkRefused) << "no parent";
  h.addFile({"NEW", "A.MID"}, patternBytes(10));
  EXPECT_EQ(deleteFolder(link, "0:\\NEW"), kLinkRefused) << "not empty";
  EXPECT_EQ(deleteFile(link, "0:\\NEW\\A.MID"), kLinkSuccess);
  EXPECT_EQ(deleteFolder(link, "0:\\NEW"), kLinkSuccess);
  std::vector<DirectoryEntry> entries;
  h.listFolder("0:", entries);
  EXPECT_TRUE(entries.empty());
}

TEST_F(FileCommands, FreeSpaceIsTheInstrumentsFreeMemory) {
  std::uint32_t before = 0;
  ASSERT_EQ(freeSpace(h.link(), before), kLinkSuccess);
  EXPECT_EQ(before, LinkHarness::fastOptions().capacityBytes);
  h.addFile({"A.MID"}, patternBytes(3000));
  std::uint32_t after = 0;
  ASSERT_EQ(freeSpace(h.link(), after), kLinkSuccess);
  EXPECT_EQ(after, before - 3 * 1024);
}

TEST(FileCommandsOnAnotherDevice, EveryRequestCarriesTheDeviceNumber) {
  auto options = LinkHarness::fastOptions();
  options.deviceNumber = 3;
  LinkHarness h(options);
  ASSERT_EQ(h.link().state().deviceNumber, 3);
  h.enterTransferMode();
  h.addFile({"A.MID"}, patternBytes(500));

  std::vector<DirectoryEntry> entries;
  h.listFolder("0:", entries);
  ASSERT_EQ(entries.size(), 1u);
  Bytes data;
  EXPECT_EQ(h.receiveFile("0:\\A.MID", data), kLinkSuccess);
  EXPECT_EQ(h.sendFile("0:\\B.MID", data), kLinkSuccess);
  EXPECT_EQ(renameEntry(h.link(), "0:\\B.MID", "0:\\C.MID"), kLinkSuccess);
  EXPECT_EQ(deleteFile(h.link(), "0:\\C.MID"), kLinkSuccess);
  std::uint32_t freeBytes = 0;
  EXPECT_EQ(freeSpace(h.link(), freeBytes), kLinkSuccess);
  for (const Bytes& sent : h.ports().sent()) EXPECT_EQ(sent[2], 0x53);
}

}  // namespace
}  // namespace quaverly::linktest
