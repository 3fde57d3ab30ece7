// The instrument folder tree against a scripted instrument that serves listings by
// pattern and records every command it is sent.
#include "app/jobs/InstrumentFolderTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quaverly {
namespace {

using protocol::DirectoryEntry;
using protocol::kLinkNotSent;
using protocol::kLinkRefused;
using protocol::kLinkSuccess;
using protocol::kLinkTimedOut;
using protocol::LinkResult;
using Names = std::vector<std::string>;
using Calls = std::vector<std::string>;

constexpr std::uint8_t kFolder = 0x10;
constexpr std::uint8_t kArchive = 0x20;
constexpr std::uint8_t kReadOnly = 0x01;

// Shift JIS names whose trail byte is a backslash: "表" (0x95 0x5C) and "ソ" (0x83 0x5C).
const std::string kHyou = "\x95\x5C";
const std::string kSo = "\x83\x5C";

// The wait cursor as the user would see it: how deep it is shown right now.
class RecordingCursor final : public WaitCursor {
 public:
  void show() override {
    ++depth;
    ++shows;
  }
  void restore() override { --depth; }
  int depth = 0;
  int shows = 0;
};

// One answer of the scripted instrument to a find.
struct FindReply {
  LinkResult result = kLinkSuccess;
  std::optional<DirectoryEntry> entry;  // none: a bare acceptance that leaves the caller's entry alone
};

FindReply entry(const std::string& path, std::uint8_t attributes, std::uint32_t size = 0) {
  return {kLinkSuccess, DirectoryEntry{path, size, attributes}};
}
FindReply bareAcceptance() { return {kLinkSuccess, std::nullopt}; }
FindReply failure(LinkResult result) { return {result, std::nullopt}; }

class ScriptedInstrument final : public InstrumentFileCommands {
 public:
  // Listings by pattern. A pattern without a listing is refused; a listing that runs
  // out refuses the next find, unless acceptForever is set.
  std::map<std::string, std::vector<FindReply>> listings;
  bool acceptForever = false;
  LinkResult renameResult = kLinkSuccess;
  LinkResult deleteResult = kLinkSuccess;

  Calls calls;
  RecordingCursor* cursor = nullptr;
  bool commandWithoutWaitCursor = false;
  // A tree that never stops asking is cut off here, so that the test fails instead
  // of hanging.
  static constexpr int kRunawayLimit = 10000;
  bool runaway = false;

  LinkResult findFirst(std::uint8_t mask, std::string_view pattern, DirectoryEntry& out) override {
    char maskText[8];
    std::snprintf(maskText, sizeof maskText, "0x%02X", mask);
    record("findFirst " + std::string(maskText) + " " + std::string(pattern));
    const auto it = listings.find(std::string(pattern));
    current_ = it == listings.end() ? nullptr : &it->second;
    next_ = 0;
    return answer(out);
  }
  LinkResult findNext(DirectoryEntry& out) override {
    record("findNext");
    return answer(out);
  }
  LinkResult rename(std::string_view oldPath, std::string_view newPath) override {
    record("rename " + std::string(oldPath) + " -> " + std::string(newPath));
    return renameResult;
  }
  LinkResult deleteFile(std::string_view path) override {
    record("delete " + std::string(path));
    return deleteResult;
  }

  std::size_t count(const std::string& prefix) const {
    std::size_t n = 0;
    for (const auto& c : calls) n += c.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

 private:
  void record(std::string call) {
    if (cursor && cursor->depth <= 0) commandWithoutWaitCursor = true;
    calls.push_back(std::move(call));
  }
  LinkResult answer(DirectoryEntry& out) {
    if (calls.size() > kRunawayLimit) {
      runaway = true;
      return kLinkRefused;
    }
    if (!current_ || next_ >= current_->size()) return acceptForever && current_ ? kLinkSuccess : kLinkRefused;
    const FindReply& reply = (*current_)[next_++];
    if (reply.result == kLinkSuccess && reply.entry) out = *reply.entry;
    return reply.result;
  }

  const std::vector<FindReply>* current_ = nullptr;
  std::size_t next_ = 0;
};

class InstrumentFolderTreeTest : public ::testing::Test {
 protected:
  InstrumentFolderTreeTest() { instrument.cursor = &cursor; }

  Names childNames(FolderNode* parent) const {
    Names names;
    for (FolderNode* n = tree.firstChild(parent); n; n = tree.nextSibling(n)) names.emplace_back(tree.nameOf(n));
    return names;
  }
  FolderNode* child(FolderNode* parent, const std::string& name) const {
    for (FolderNode* n = tree.firstChild(parent); n; n = tree.nextSibling(n)) {
      if (name == tree.nameOf(n)) return n;
    }
    return nullptr;
  }
  FolderNode* drive() const { return tree.drive(); }

  // The drive of the usual test instrument: POPS\OLD\X.MID, POPS\SONG1.MID, a.mid and
  // a read-only folder X, served in no particular order.
  void serveUsualDrive() {
    instrument.listings["0:\\*"] = {entry("0:\\a.mid", kArchive, 10), entry("0:\\POPS", kFolder),
                                    entry("0:\\X", kFolder | kReadOnly)};
    instrument.listings["0:\\POPS\\*"] = {entry("0:\\POPS\\.", kFolder), entry("0:\\POPS\\..", kFolder),
                                          entry("0:\\POPS\\SONG1.MID", kArchive, 1234),
                                          entry("0:\\POPS\\OLD", kFolder)};
    instrument.listings["0:\\POPS\\OLD\\*"] = {entry("0:\\POPS\\OLD\\.", kFolder), entry("0:\\POPS\\OLD\\..", kFolder),
                                               entry("0:\\POPS\\OLD\\X.MID", kArchive, 5)};
    instrument.listings["0:\\X\\*"] = {};
  }

  ScriptedInstrument instrument;
  RecordingCursor cursor;
  InstrumentFolderTree tree{instrument, &cursor};
};

// ---- the drive, data words, sizes and paths ----------------------------------

TEST_F(InstrumentFolderTreeTest, StartsWithTheUnlistedDriveAlone) {
  EXPECT_EQ(childNames(nullptr), Names{"0:"});
  ASSERT_NE(drive(), nullptr);
  EXPECT_EQ(drive(), tree.firstChild(nullptr));
  EXPECT_EQ(tree.dataOf(drive()), 0u);
  EXPECT_EQ(tree.kindOf(drive()), InstrumentFolderTree::kDriveUnlisted);
  EXPECT_EQ(tree.parentOf(drive()), nullptr);
  EXPECT_EQ(tree.firstChild(drive()), nullptr);
  EXPECT_TRUE(instrument.calls.empty());
}

TEST_F(InstrumentFolderTreeTest, DataWordHoldsKindAndAttributesAndFilesCarryTheirSize) {
  FolderNode* folder = tree.insertSorted("POPS", drive(), kFolder | kReadOnly, 999);
  FolderNode* file = tree.insertSorted("A.MID", folder, kArchive | kReadOnly, 0x80001234u);
  FolderNode* huge = tree.insertSorted("B.MID", folder, kArchive, 0xFFFFFFFFu);
  FolderNode* writable = tree.insertSorted("C.MID", folder, kArchive, 7);
  ASSERT_TRUE(folder && file && huge && writable);

  EXPECT_EQ(tree.dataOf(folder), 0x00110002u);
  EXPECT_EQ(tree.kindOf(folder), InstrumentFolderTree::kFolderUnlisted);
  EXPECT_TRUE(tree.isReadOnly(folder));
  EXPECT_EQ(tree.dataOf(file), 0x00210004u);
  EXPECT_EQ(tree.kindOf(file), InstrumentFolderTree::kFile);
  EXPECT_TRUE(tree.isReadOnly(file));
  EXPECT_FALSE(tree.isReadOnly(writable));

  // A folder has no size, whatever size it was inserted with; a file's size never
  // shows bit 31.
  EXPECT_EQ(tree.sizeOf(folder), 0xFFFFFFFFu);
  EXPECT_TRUE(folder->extraWords().empty());
  EXPECT_EQ(tree.sizeOf(file), 0x1234u);
  EXPECT_EQ(tree.sizeOf(huge), 0x7FFFFFFFu);
  EXPECT_EQ(tree.sizeOf(writable), 7u);
  EXPECT_EQ(tree.sizeOf(drive()), 0xFFFFFFFFu);
  EXPECT_EQ(tree.sizeOf(nullptr), 0xFFFFFFFFu);
  EXPECT_EQ(tree.kindOf(nullptr), 0u);
  EXPECT_FALSE(tree.isReadOnly(nullptr));
}

TEST_F(InstrumentFolderTreeTest, PathOfTheDriveAFolderAndAFile) {
  FolderNode* pops = tree.insertSorted("POPS", drive(), kFolder, 0);
  FolderNode* old = tree.insertSorted("OLD", pops, kFolder, 0);
  FolderNode* song = tree.insertSorted("SONG1.MID", pops, kArchive, 1);
  FolderNode* deep = tree.insertSorted("X.MID", old, kArchive, 1);
  EXPECT_EQ(tree.pathOf(nullptr), "0:");
  EXPECT_EQ(tree.pathOf(drive()), "0:");
  EXPECT_EQ(tree.pathOf(pops), "0:\\POPS");
  EXPECT_EQ(tree.pathOf(song), "0:\\POPS\\SONG1.MID");
  EXPECT_EQ(tree.pathOf(deep), "0:\\POPS\\OLD\\X.MID");
  FolderNode* so = tree.insertSorted(kSo, drive(), kFolder, 0);
  FolderNode* hyou = tree.insertSorted(kHyou + ".MID", so, kArchive, 1);
  EXPECT_EQ(tree.pathOf(hyou), "0:\\" + kSo + "\\" + kHyou + ".MID");
}

// ---- sorted insertion ---------------------------------------------------------

TEST_F(InstrumentFolderTreeTest, FoldersComeBeforeFilesEachGroupInOrderWithoutCase) {
  tree.insertSorted("a.mid", drive(), kArchive, 1);
  tree.insertSorted("A", drive(), kFolder, 0);
  tree.insertSorted("b", drive(), kFolder, 0);
  EXPECT_EQ(childNames(drive()), (Names{"A", "b", "a.mid"}));

  FolderNode* folder = tree.insertSorted("SONGS", drive(), kFolder, 0);
  tree.insertSorted("a.mid", folder, kArchive, 1);
  tree.insertSorted("c.mid", folder, kArchive, 1);
  tree.insertSorted("B.MID", folder, kArchive, 1);
  EXPECT_EQ(childNames(folder), (Names{"a.mid", "B.MID", "c.mid"}));
  // A folder inserted last still goes before every file.
  tree.insertSorted("zz", folder, kFolder, 0);
  EXPECT_EQ(childNames(folder), (Names{"zz", "a.mid", "B.MID", "c.mid"}));
}

TEST_F(InstrumentFolderTreeTest, AnEqualNameGoesAfterTheExistingOneWithoutADuplicateCheck) {
  FolderNode* first = tree.insertSorted("a.mid", drive(), kArchive, 1);
  tree.insertSorted("c.mid", drive(), kArchive, 3);
  FolderNode* second = tree.insertSorted("A.MID", drive(), kArchive, 2);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(childNames(drive()), (Names{"a.mid", "A.MID", "c.mid"}));
  EXPECT_EQ(tree.firstChild(drive()), first);
  EXPECT_EQ(tree.nextSibling(first), second);
}

TEST_F(InstrumentFolderTreeTest, ADoubleByteCharacterComparesAsOneUnitWithoutFoldingItsTrailByte) {
  // Trail bytes 'a' (0x61) and 'A' (0x41): equal if folded like letters, different
  // characters as whole units (0x8341 before 0x8361).
  const std::string low = "\x83\x61";
  const std::string high = "\x83\x41";
  tree.insertSorted(low, drive(), kArchive, 1);
  tree.insertSorted(high, drive(), kArchive, 1);
  // A double-byte character sorts after every ASCII letter.
  tree.insertSorted("Z.MID", drive(), kArchive, 1);
  EXPECT_EQ(childNames(drive()), (Names{"Z.MID", high, low}));
}

TEST_F(InstrumentFolderTreeTest, InsertSortedWithoutParentAddsATopLevelNode) {
  FolderNode* top = tree.insertSorted("X.MID", nullptr, kArchive, 3);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(childNames(nullptr), (Names{"0:", "X.MID"}));
  EXPECT_EQ(tree.parentOf(top), nullptr);
  EXPECT_EQ(tree.drive(), tree.firstChild(nullptr));
}

// ---- findByPath -----------------------------------------------------------------

TEST_F(InstrumentFolderTreeTest, FindByPathComparesEachComponentWithoutCase) {
  FolderNode* pops = tree.insertSorted("POPS", drive(), kFolder, 0);
  FolderNode* song = tree.insertSorted("SONG1.MID", pops, kArchive, 1);
  FolderNode* x = tree.insertSorted("X", drive(), kFolder, 0);
  EXPECT_EQ(tree.findByPath("0:"), drive());
  EXPECT_EQ(tree.findByPath("0:\\"), drive());
  EXPECT_EQ(tree.findByPath("0:\\POPS"), pops);
  EXPECT_EQ(tree.findByPath("0:\\pops\\"), pops);
  EXPECT_EQ(tree.findByPath("0:\\Pops\\song1.mid"), song);
  EXPECT_EQ(tree.findByPath("0:\\x"), x);
}

TEST_F(InstrumentFolderTreeTest, FindByPathGivesNoneForAMissingComponentOrAnEmptyPath) {
  FolderNode* pops = tree.insertSorted("POPS", drive(), kFolder, 0);
  tree.insertSorted("SONG1.MID", pops, kArchive, 1);
  EXPECT_EQ(tree.findByPath(""), nullptr);
  EXPECT_EQ(tree.findByPath("1:"), nullptr);
  EXPECT_EQ(tree.findByPath("0:\\ROCK"), nullptr);
  EXPECT_EQ(tree.findByPath("0:\\POPS\\SONG2.MID"), nullptr);
  EXPECT_EQ(tree.findByPath("0:\\POPS\\SONG1.MID\\MORE"), nullptr);
  EXPECT_EQ(tree.findByPath("0:\\\\POPS"), nullptr);  // an empty component in the middle
  EXPECT_EQ(tree.findByPath("\\"), nullptr);
}

TEST_F(InstrumentFolderTreeTest, FindByPathStepsOverATrailByteThatIsABackslash) {
  FolderNode* so = tree.insertSorted(kSo, drive(), kFolder, 0);
  FolderNode* hyou = tree.insertSorted(kHyou, so, kArchive, 1);
  EXPECT_EQ(tree.findByPath("0:\\" + kSo), so);
  EXPECT_EQ(tree.findByPath("0:\\" + kSo + "\\"), so);
  EXPECT_EQ(tree.findByPath("0:\\" + kSo + "\\" + kHyou), hyou);
}

// ---- listFolder ---------------------------------------------------------------

TEST_F(InstrumentFolderTreeTest, ListingTheDriveAsksForEverythingAndMarksItExactlyListed) {
  serveUsualDrive();
  tree.setData(drive(), 0x00FF0000u);  // attribute bits on the drive are not kept
  tree.listFolder(nullptr);
  EXPECT_EQ(instrument.calls, (Calls{"findFirst 0x30 0:\\*", "findNext", "findNext", "findNext"}));
  EXPECT_EQ(childNames(drive()), (Names{"POPS", "X", "a.mid"}));
  EXPECT_EQ(tree.dataOf(drive()), 1u);
  EXPECT_EQ(tree.sizeOf(child(drive(), "a.mid")), 10u);
  EXPECT_EQ(tree.dataOf(child(drive(), "X")), 0x00110002u);
  EXPECT_FALSE(instrument.commandWithoutWaitCursor);
  EXPECT_EQ(cursor.depth, 0);
  EXPECT_EQ(cursor.shows, 1);
}

TEST_F(InstrumentFolderTreeTest, ListingAFolderSkipsItselfAndItsParentAndKeepsItsAttributes) {
  serveUsualDrive();
  tree.listFolder(drive());
  FolderNode* x = child(drive(), "X");
  FolderNode* pops = child(drive(), "POPS");
  instrument.calls.clear();
  tree.listFolder(pops);
  EXPECT_EQ(instrument.calls.front(), "findFirst 0x30 0:\\POPS\\*");
  EXPECT_EQ(childNames(pops), (Names{"OLD", "SONG1.MID"}));
  EXPECT_EQ(tree.kindOf(pops), InstrumentFolderTree::kFolderListed);
  EXPECT_EQ(tree.sizeOf(child(pops, "SONG1.MID")), 1234u);
  EXPECT_EQ(tree.kindOf(child(pops, "OLD")), InstrumentFolderTree::kFolderUnlisted);

  tree.listFolder(x);
  EXPECT_EQ(tree.dataOf(x), 0x00110003u);  // listed, read-only bit kept
  EXPECT_TRUE(childNames(x).empty());
}

TEST_F(InstrumentFolderTreeTest, ListingAListedFolderAFileOrAListedDriveDoesNothing) {
  serveUsualDrive();
  tree.listFolder(drive());
  FolderNode* pops = child(drive(), "POPS");
  tree.listFolder(pops);
  instrument.calls.clear();
  const int shows = cursor.shows;

  tree.listFolder(drive());
  tree.listFolder(nullptr);
  tree.listFolder(pops);
  tree.listFolder(child(drive(), "a.mid"));
  tree.listFolder(child(pops, "SONG1.MID"));
  EXPECT_TRUE(instrument.calls.empty());
  EXPECT_EQ(cursor.shows, shows);
  EXPECT_EQ(childNames(drive()), (Names{"POPS", "X", "a.mid"}));
  EXPECT_EQ(childNames(pops), (Names{"OLD", "SONG1.MID"}));
}

TEST_F(InstrumentFolderTreeTest, AListingCutShortKeepsWhatArrivedAndIsNotAskedAgain) {
  for (const LinkResult end : {kLinkRefused, kLinkNotSent, kLinkTimedOut}) {
    SCOPED_TRACE(end);
    ScriptedInstrument scripted;
    InstrumentFolderTree t(scripted);
    FolderNode* folder = t.insertSorted("POPS", t.drive(), kFolder | kReadOnly, 0);
    scripted.listings["0:\\POPS\\*"] = {entry("0:\\POPS\\B.MID", kArchive, 2), entry("0:\\POPS\\A.MID", kArchive, 1),
                                        failure(end), entry("0:\\POPS\\C.MID", kArchive, 3)};
    t.listFolder(folder);
    EXPECT_EQ(scripted.calls, (Calls{"findFirst 0x30 0:\\POPS\\*", "findNext", "findNext"}));
    Names names;
    for (FolderNode* n = t.firstChild(folder); n; n = t.nextSibling(n)) names.emplace_back(t.nameOf(n));
    EXPECT_EQ(names, (Names{"A.MID", "B.MID"}));
    EXPECT_EQ(t.dataOf(folder), 0x00110003u);

    scripted.calls.clear();
    t.listFolder(folder);
    EXPECT_TRUE(scripted.calls.empty());
  }
}

TEST_F(InstrumentFolderTreeTest, AFailedFirstFindLeavesTheDriveListedAndEmpty) {
  for (const LinkResult end : {kLinkRefused, kLinkNotSent, kLinkTimedOut}) {
    SCOPED_TRACE(end);
    ScriptedInstrument scripted;
    scripted.listings["0:\\*"] = {failure(end), entry("0:\\A.MID", kArchive)};
    InstrumentFolderTree t(scripted);
    t.listFolder(nullptr);
    EXPECT_EQ(scripted.calls, Calls{"findFirst 0x30 0:\\*"});
    EXPECT_EQ(t.firstChild(t.drive()), nullptr);
    EXPECT_EQ(t.dataOf(t.drive()), 1u);
  }
}

TEST_F(InstrumentFolderTreeTest, ABareAcceptanceRepeatsThePreviousEntryAsADuplicate) {
  // The instrument's bare acceptance carries no entry, so the previous one comes
  // again and is inserted a second time, after the first.
  instrument.listings["0:\\*"] = {entry("0:\\A.MID", kArchive, 1), bareAcceptance(), entry("0:\\B.MID", kArchive, 2)};
  tree.listFolder(nullptr);
  EXPECT_EQ(instrument.calls, (Calls{"findFirst 0x30 0:\\*", "findNext", "findNext", "findNext"}));
  EXPECT_EQ(childNames(drive()), (Names{"A.MID", "A.MID", "B.MID"}));
  FolderNode* duplicate = tree.nextSibling(tree.firstChild(drive()));
  EXPECT_EQ(tree.sizeOf(duplicate), 1u);
  // Both nodes carry the same path; a path lookup finds the first.
  EXPECT_EQ(tree.findByPath("0:\\A.MID"), tree.firstChild(drive()));
}

TEST_F(InstrumentFolderTreeTest, AnInstrumentThatOnlyEverAcknowledgesDoesNotKeepTheListingGoing) {
  instrument.listings["0:\\*"] = {entry("0:\\A.MID", kArchive, 1)};
  instrument.acceptForever = true;
  tree.listFolder(nullptr);
  EXPECT_FALSE(instrument.runaway);
  // The first repeat is taken as an entry; the second ends the listing.
  EXPECT_EQ(instrument.calls, (Calls{"findFirst 0x30 0:\\*", "findNext", "findNext"}));
  EXPECT_EQ(childNames(drive()), (Names{"A.MID", "A.MID"}));
  EXPECT_EQ(tree.dataOf(drive()), 1u);
}

TEST_F(InstrumentFolderTreeTest, ABareAcceptanceOfTheFirstFindAddsNoNamelessNode) {
  instrument.listings["0:\\*"] = {bareAcceptance(), entry("0:\\B.MID", kArchive, 2)};
  tree.listFolder(nullptr);
  EXPECT_EQ(childNames(drive()), Names{"B.MID"});
  EXPECT_EQ(tree.dataOf(drive()), 1u);
}

TEST_F(InstrumentFolderTreeTest, EntryNamesAreCutAtTheLastSeparatorNotAtATrailByte) {
  instrument.listings["0:\\*"] = {entry("0:\\" + kSo, kFolder), entry("0:\\" + kHyou + ".MID", kArchive, 4),
                                  entry("0:\\" + kHyou, kArchive, 5)};
  instrument.listings["0:\\" + kSo + "\\*"] = {entry("0:\\" + kSo + "\\.", kFolder),
                                               entry("0:\\" + kSo + "\\..", kFolder),
                                               entry("0:\\" + kSo + "\\A.MID", kArchive, 6)};
  tree.listFolder(nullptr);
  EXPECT_EQ(childNames(drive()), (Names{kSo, kHyou, kHyou + ".MID"}));
  FolderNode* so = child(drive(), kSo);
  ASSERT_NE(so, nullptr);
  tree.listFolder(so);
  EXPECT_EQ(instrument.calls[4], "findFirst 0x30 0:\\" + kSo + "\\*");
  EXPECT_EQ(childNames(so), Names{"A.MID"});
  EXPECT_EQ(tree.sizeOf(child(so, "A.MID")), 6u);
}

// ---- openPath -------------------------------------------------------------------

TEST_F(InstrumentFolderTreeTest, OpenPathListsEveryFolderOnTheWayAndReturnsTheLast) {
  serveUsualDrive();
  FolderNode* old = tree.openPath("0:\\POPS\\OLD");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(tree.pathOf(old), "0:\\POPS\\OLD");
  EXPECT_EQ(instrument.count("findFirst"), 3u);
  std::vector<std::string> patterns;
  for (const auto& c : instrument.calls) {
    if (c.rfind("findFirst", 0) == 0) patterns.push_back(c);
  }
  EXPECT_EQ(patterns, (Calls{"findFirst 0x30 0:\\*", "findFirst 0x30 0:\\POPS\\*", "findFirst 0x30 0:\\POPS\\OLD\\*"}));
  EXPECT_EQ(tree.dataOf(drive()), 1u);
  EXPECT_EQ(tree.kindOf(tree.findByPath("0:\\POPS")), InstrumentFolderTree::kFolderListed);
  EXPECT_EQ(tree.kindOf(old), InstrumentFolderTree::kFolderListed);
  EXPECT_EQ(childNames(old), Names{"X.MID"});
  // Folders off the path stay unlisted.
  EXPECT_EQ(tree.kindOf(tree.findByPath("0:\\X")), InstrumentFolderTree::kFolderUnlisted);
  EXPECT_FALSE(instrument.commandWithoutWaitCursor);
  EXPECT_EQ(cursor.depth, 0);
}

TEST_F(InstrumentFolderTreeTest, OpenPathRebuildsTheDriveFromTheInstrument) {
  serveUsualDrive();
  tree.openPath("0:\\POPS");
  FolderNode* stale = tree.insertSorted("GONE.MID", drive(), kArchive, 1);
  ASSERT_NE(stale, nullptr);
  instrument.listings["0:\\*"] = {entry("0:\\NEW.MID", kArchive, 3)};
  instrument.calls.clear();

  EXPECT_EQ(tree.openPath("0:"), drive());
  EXPECT_EQ(instrument.calls, (Calls{"findFirst 0x30 0:\\*", "findNext"}));
  EXPECT_EQ(childNames(drive()), Names{"NEW.MID"});
  EXPECT_EQ(tree.dataOf(drive()), 1u);
  EXPECT_EQ(childNames(nullptr), Names{"0:"});
}

TEST_F(InstrumentFolderTreeTest, OpenPathWalksWithExactCaseThoughFindByPathIgnoresIt) {
  serveUsualDrive();
  EXPECT_EQ(tree.openPath("0:\\x"), nullptr);
  FolderNode* x = tree.findByPath("0:\\x");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(tree.nameOf(x), std::string("X"));
  EXPECT_EQ(tree.kindOf(x), InstrumentFolderTree::kFolderUnlisted);  // the walk did not descend
  EXPECT_EQ(instrument.count("findFirst"), 1u);
  EXPECT_EQ(tree.dataOf(drive()), 1u);
  EXPECT_EQ(tree.openPath("0:\\pops\\OLD"), nullptr);
}

TEST_F(InstrumentFolderTreeTest, OpenPathGivesNoneForMissingFilesEmptyAndBlankComponents) {
  serveUsualDrive();
  EXPECT_EQ(tree.openPath("0:\\a.mid"), nullptr);  // only folders are walked into
  EXPECT_EQ(tree.openPath("0:\\ROCK"), nullptr);
  EXPECT_EQ(tree.openPath("0:\\X\\ANY"), nullptr);  // X is listed but empty
  EXPECT_EQ(tree.openPath("0:\\POPS\\SONG1.MID"), nullptr);
  EXPECT_EQ(tree.openPath(""), nullptr);
  EXPECT_EQ(tree.openPath("1:"), nullptr);
  EXPECT_EQ(tree.openPath("0:\\\\POPS"), nullptr);
  // The drive is rebuilt and listed each time all the same.
  EXPECT_EQ(tree.dataOf(drive()), 1u);
  EXPECT_EQ(childNames(drive()), (Names{"POPS", "X", "a.mid"}));
  EXPECT_EQ(cursor.depth, 0);
}

TEST_F(InstrumentFolderTreeTest, OpenPathWithATrailingBackslashEndsAtTheLastFolder) {
  serveUsualDrive();
  FolderNode* pops = tree.openPath("0:\\POPS\\");
  ASSERT_NE(pops, nullptr);
  EXPECT_EQ(tree.nameOf(pops), std::string("POPS"));
  EXPECT_EQ(tree.kindOf(pops), InstrumentFolderTree::kFolderListed);
  EXPECT_EQ(tree.openPath("0:\\"), drive());
}

TEST_F(InstrumentFolderTreeTest, OpenPathWalksIntoAFolderWhoseNameEndsInABackslashTrailByte) {
  instrument.listings["0:\\*"] = {entry("0:\\" + kSo, kFolder)};
  instrument.listings["0:\\" + kSo + "\\*"] = {entry("0:\\" + kSo + "\\A.MID", kArchive, 1)};
  FolderNode* so = tree.openPath("0:\\" + kSo);
  ASSERT_NE(so, nullptr);
  EXPECT_EQ(childNames(so), Names{"A.MID"});
}

TEST_F(InstrumentFolderTreeTest, ADriveRemovedThroughTheGeneralTreeIsRecreatedByOpenPath) {
  serveUsualDrive();
  tree.removeNode(nullptr);
  EXPECT_EQ(tree.drive(), nullptr);
  EXPECT_EQ(tree.pathOf(nullptr), "");
  tree.listFolder(nullptr);  // nothing to list
  EXPECT_FALSE(tree.deleteEntry(nullptr));
  EXPECT_TRUE(instrument.calls.empty());
  FolderNode* pops = tree.openPath("0:\\POPS");
  ASSERT_NE(pops, nullptr);
  EXPECT_EQ(childNames(nullptr), Names{"0:"});
  EXPECT_EQ(tree.pathOf(pops), "0:\\POPS");
}

// ---- renameEntry and deleteEntry -----------------------------------------------

TEST_F(InstrumentFolderTreeTest, AnAcceptedRenameRenamesTheNodeInPlace) {
  serveUsualDrive();
  tree.openPath("0:\\POPS");
  FolderNode* song = tree.findByPath("0:\\POPS\\SONG1.MID");
  ASSERT_NE(song, nullptr);
  instrument.calls.clear();
  EXPECT_TRUE(tree.renameEntry(song, "A.MID"));
  EXPECT_EQ(instrument.calls, Calls{"rename 0:\\POPS\\SONG1.MID -> 0:\\POPS\\A.MID"});
  EXPECT_EQ(tree.nameOf(song), std::string("A.MID"));
  EXPECT_EQ(tree.sizeOf(song), 1234u);
  EXPECT_EQ(tree.kindOf(song), InstrumentFolderTree::kFile);
  // Not re-sorted: A.MID stays after OLD, where SONG1.MID was.
  EXPECT_EQ(childNames(tree.findByPath("0:\\POPS")), (Names{"OLD", "A.MID"}));

  FolderNode* old = tree.findByPath("0:\\POPS\\OLD");
  EXPECT_TRUE(tree.renameEntry(old, "NEW"));
  EXPECT_EQ(instrument.calls.back(), "rename 0:\\POPS\\OLD -> 0:\\POPS\\NEW");
  EXPECT_EQ(tree.findByPath("0:\\POPS\\NEW"), old);
}

TEST_F(InstrumentFolderTreeTest, ARenameTheInstrumentDidNotAcceptLeavesTheTreeAlone) {
  FolderNode* file = tree.insertSorted("A.MID", drive(), kArchive, 1);
  tree.insertSorted("C.MID", drive(), kArchive, 1);
  for (const LinkResult result : {kLinkRefused, kLinkNotSent, kLinkTimedOut}) {
    SCOPED_TRACE(result);
    instrument.renameResult = result;
    EXPECT_FALSE(tree.renameEntry(file, "B.MID"));
    EXPECT_EQ(tree.nameOf(file), std::string("A.MID"));
  }
  EXPECT_EQ(instrument.count("rename 0:\\A.MID -> 0:\\B.MID"), 3u);
  EXPECT_EQ(childNames(drive()), (Names{"A.MID", "C.MID"}));
}

TEST_F(InstrumentFolderTreeTest, RenameKeepsTheFolderPathWhenANameEndsInABackslashTrailByte) {
  FolderNode* so = tree.insertSorted(kSo, drive(), kFolder, 0);
  FolderNode* inside = tree.insertSorted("A.MID", so, kArchive, 1);
  FolderNode* hyou = tree.insertSorted(kHyou, drive(), kArchive, 1);
  EXPECT_TRUE(tree.renameEntry(inside, "B.MID"));
  EXPECT_TRUE(tree.renameEntry(hyou, "C.MID"));
  EXPECT_TRUE(tree.renameEntry(so, kHyou));
  EXPECT_EQ(instrument.calls,
            (Calls{"rename 0:\\" + kSo + "\\A.MID -> 0:\\" + kSo + "\\B.MID", "rename 0:\\" + kHyou + " -> 0:\\C.MID",
                   "rename 0:\\" + kSo + " -> 0:\\" + kHyou}));
  EXPECT_EQ(tree.pathOf(inside), "0:\\" + kHyou + "\\B.MID");
}

TEST_F(InstrumentFolderTreeTest, AnAcceptedDeleteRemovesTheNode) {
  serveUsualDrive();
  tree.openPath("0:\\POPS");
  FolderNode* pops = tree.findByPath("0:\\POPS");
  FolderNode* song = tree.findByPath("0:\\POPS\\SONG1.MID");
  instrument.calls.clear();
  EXPECT_TRUE(tree.deleteEntry(song));
  EXPECT_EQ(instrument.calls, Calls{"delete 0:\\POPS\\SONG1.MID"});
  EXPECT_EQ(childNames(pops), Names{"OLD"});
  EXPECT_EQ(tree.findByPath("0:\\POPS\\SONG1.MID"), nullptr);
}

TEST_F(InstrumentFolderTreeTest, ADeleteTheInstrumentDidNotAcceptLeavesTheTreeAlone) {
  FolderNode* file = tree.insertSorted("A.MID", drive(), kArchive, 1);
  for (const LinkResult result : {kLinkRefused, kLinkNotSent, kLinkTimedOut}) {
    SCOPED_TRACE(result);
    instrument.deleteResult = result;
    EXPECT_FALSE(tree.deleteEntry(file));
    EXPECT_EQ(tree.findByPath("0:\\A.MID"), file);
  }
  EXPECT_EQ(instrument.count("delete 0:\\A.MID"), 3u);
}

TEST_F(InstrumentFolderTreeTest, TheDriveIsNeitherRenamedNorDeleted) {
  // Deleting "the drive" would take every node with it, the drive included; renaming
  // it would break every path.
  serveUsualDrive();
  tree.listFolder(nullptr);
  EXPECT_FALSE(tree.renameEntry(nullptr, "1:"));
  EXPECT_FALSE(tree.renameEntry(drive(), "1:"));
  EXPECT_FALSE(tree.deleteEntry(nullptr));
  EXPECT_FALSE(tree.deleteEntry(drive()));
  EXPECT_EQ(instrument.calls.size(), 4u);  // the listing only
  EXPECT_EQ(childNames(nullptr), Names{"0:"});
  EXPECT_EQ(childNames(drive()), (Names{"POPS", "X", "a.mid"}));
}

}  // namespace
}  // namespace quaverly
