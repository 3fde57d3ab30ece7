// What every file memory of the instrument must do, checked on both the in-memory
// and the on-disk one, and what only the on-disk one does: names converted between
// Shift JIS and UTF-8, permissions as the read-only attribute, and a root that
// nothing may leave.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/DirectoryFileMemory.h"
#include "instrument/InMemoryFileMemory.h"
#include "tests/TemporaryFolder.h"
#include "tests/instrument/InstrumentHarness.h"

namespace quaverly::instrument::testing {
namespace {

namespace fs = std::filesystem;
using platform::pathFromUtf8;
using protocol::SysexId;

// A fresh directory under the system's temporary folder, removed with everything in
// it at the end of the test.
class TempDir {
 public:
  TempDir() { path_ = quaverly::test::makeTemporaryFolder("quaverly-memory"); }
  ~TempDir() {
    std::error_code ec;
    // Give back write permission first, so that nothing is left behind.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeFile(const fs::path& p, const Bytes& data) {
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

Bytes readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> namesOf(const FileMemory& m, const MemoryPath& folder = {}) {
  std::vector<std::string> names;
  if (const auto entries = m.list(folder)) {
    for (const MemoryEntry& e : *entries) names.push_back(e.name);
  }
  return names;
}

std::optional<MemoryEntry> entryOf(const FileMemory& m, const MemoryPath& path) {
  if (const auto entries = m.list(MemoryPath(path.begin(), path.end() - 1))) {
    for (const MemoryEntry& e : *entries) {
      if (e.name == path.back()) return e;
    }
  }
  return std::nullopt;
}

// --- The contract, for both memories ---

struct InMemory {
  std::unique_ptr<FileMemory> make() { return std::make_unique<InMemoryFileMemory>(); }
};
struct OnDisk {
  TempDir dir;
  std::unique_ptr<FileMemory> make() { return std::make_unique<DirectoryFileMemory>(dir.path()); }
};

template <typename Kind>
class FileMemoryContract : public ::testing::Test {
 protected:
  Kind kind_;
  std::unique_ptr<FileMemory> memory_ = kind_.make();
  FileMemory& m() { return *memory_; }
};

using MemoryKinds = ::testing::Types<InMemory, OnDisk>;
class KindNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, InMemory> ? "InMemory" : "OnDisk";
  }
};
TYPED_TEST_SUITE(FileMemoryContract, MemoryKinds, KindNames);

TYPED_TEST(FileMemoryContract, StartsEmptyAndListsOnlyFolders) {
  FileMemory& m = this->m();
  ASSERT_TRUE(m.list({}));
  EXPECT_TRUE(m.list({})->empty());
  EXPECT_FALSE(m.list({"NOPE"}));
  ASSERT_TRUE(m.create({"A.MID"}));
  EXPECT_FALSE(m.list({"A.MID"}));
}

TYPED_TEST(FileMemoryContract, CreatesAppendsAndReadsFiles) {
  FileMemory& m = this->m();
  ASSERT_TRUE(m.makeFolder({"POPS"}));
  ASSERT_TRUE(m.create({"POPS", "A.MID"}));
  EXPECT_EQ(m.read({"POPS", "A.MID"}), Bytes{});
  const Bytes first = patternBytes(1000, 1);
  const Bytes second = patternBytes(77, 2);
  ASSERT_TRUE(m.append({"POPS", "A.MID"}, first));
  ASSERT_TRUE(m.append({"POPS", "A.MID"}, second));
  Bytes both = first;
  both.insert(both.end(), second.begin(), second.end());
  EXPECT_EQ(m.read({"POPS", "A.MID"}), both);
  const auto e = entryOf(m, {"POPS", "A.MID"});
  ASSERT_TRUE(e);
  EXPECT_FALSE(e->folder);
  EXPECT_FALSE(e->readOnly);
  EXPECT_EQ(e->size, 1077u);
  // Creating again empties it.
  ASSERT_TRUE(m.create({"POPS", "A.MID"}));
  EXPECT_EQ(m.read({"POPS", "A.MID"}), Bytes{});
}

TYPED_TEST(FileMemoryContract, RefusesFilesWhereTheyCannotBe) {
  FileMemory& m = this->m();
  ASSERT_TRUE(m.makeFolder({"POPS"}));
  ASSERT_TRUE(m.create({"A.MID"}));
  EXPECT_FALSE(m.create({}));
  EXPECT_FALSE(m.create({"POPS"}));             // a folder
  EXPECT_FALSE(m.create({"NOPE", "A.MID"}));    // missing folder
  EXPECT_FALSE(m.create({"A.MID", "B.MID"}));   // inside a file
  EXPECT_FALSE(m.append({"B.MID"}, Bytes{1}));  // missing
  EXPECT_FALSE(m.append({"POPS"}, Bytes{1}));   // a folder
  EXPECT_FALSE(m.read({"POPS"}));
  EXPECT_FALSE(m.read({"B.MID"}));
  EXPECT_FALSE(m.read({}));
  EXPECT_FALSE(m.makeFolder({}));
  EXPECT_FALSE(m.makeFolder({"POPS"}));   // exists
  EXPECT_FALSE(m.makeFolder({"A.MID"}));  // a file of that name
  EXPECT_FALSE(m.makeFolder({"NOPE", "SUB"}));
  EXPECT_EQ(namesOf(m).size(), 2u);
}

TYPED_TEST(FileMemoryContract, ReadOnlyFilesCannotBeWrittenOrReplaced) {
  FileMemory& m = this->m();
  ASSERT_TRUE(m.create({"A.MID"}));
  ASSERT_TRUE(m.append({"A.MID"}, Bytes{1, 2, 3}));
  ASSERT_TRUE(m.setReadOnly({"A.MID"}, true));
  EXPECT_TRUE(entryOf(m, {"A.MID"})->readOnly);
  EXPECT_FALSE(m.append({"A.MID"}, Bytes{4}));
  EXPECT_FALSE(m.create({"A.MID"}));
  EXPECT_EQ(m.read({"A.MID"}), (Bytes{1, 2, 3}));
  ASSERT_TRUE(m.setReadOnly({"A.MID"}, false));
  EXPECT_FALSE(entryOf(m, {"A.MID"})->readOnly);
  EXPECT_TRUE(m.append({"A.MID"}, Bytes{4}));
  EXPECT_EQ(m.read({"A.MID"}), (Bytes{1, 2, 3, 4}));
  ASSERT_TRUE(m.makeFolder({"DIR"}));
  EXPECT_FALSE(m.setReadOnly({"DIR"}, true));
  EXPECT_FALSE(m.setReadOnly({"NOPE"}, true));
}

TYPED_TEST(FileMemoryContract, RemovesFilesAndOnlyEmptyFolders) {
  FileMemory& m = this->m();
  ASSERT_TRUE(m.makeFolder({"POPS"}));
  ASSERT_TRUE(m.create({"POPS", "A.MID"}));
  EXPECT_FALSE(m.removeFolder({"POPS"}));
  EXPECT_FALSE(m.removeFile({"POPS"}));
  EXPECT_FALSE(m.removeFolder({"POPS", "A.MID"}));
  EXPECT_FALSE(m.removeFolder({}));
  EXPECT_FALSE(m.removeFile({"POPS", "B.MID"}));
  EXPECT_TRUE(m.removeFile({"POPS", "A.MID"}));
  EXPECT_TRUE(m.removeFolder({"POPS"}));
  EXPECT_TRUE(namesOf(m).empty());
}

TYPED_TEST(FileMemoryContract, RenameKeepsContentAndAttributesAndRefusesTakenNames) {
  FileMemory& m = this->m();
  ASSERT_TRUE(m.create({"A.MID"}));
  ASSERT_TRUE(m.append({"A.MID"}, Bytes{9, 8, 7}));
  ASSERT_TRUE(m.setReadOnly({"A.MID"}, true));
  ASSERT_TRUE(m.create({"B.MID"}));
  EXPECT_FALSE(m.rename({"A.MID"}, "B.MID"));
  EXPECT_FALSE(m.rename({"C.MID"}, "D.MID"));
  EXPECT_FALSE(m.rename({}, "D.MID"));
  EXPECT_TRUE(m.rename({"A.MID"}, "C.MID"));
  const auto c = entryOf(m, {"C.MID"});
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->readOnly);
  EXPECT_EQ(m.read({"C.MID"}), (Bytes{9, 8, 7}));
  EXPECT_FALSE(entryOf(m, {"A.MID"}));
  EXPECT_TRUE(m.rename({"C.MID"}, "c.mid"));  // only the case
  EXPECT_EQ(m.read({"c.mid"}), (Bytes{9, 8, 7}));
  ASSERT_TRUE(m.makeFolder({"DIR"}));
  ASSERT_TRUE(m.create({"DIR", "X.MID"}));
  EXPECT_TRUE(m.rename({"DIR"}, "DIR2"));
  EXPECT_TRUE(m.read({"DIR2", "X.MID"}));
}

TYPED_TEST(FileMemoryContract, UsedBytesRoundsEachFileToWholeClusters) {
  FileMemory& m = this->m();
  EXPECT_EQ(usedBytes(m), 0u);
  ASSERT_TRUE(m.create({"EMPTY.MID"}));
  EXPECT_EQ(usedBytes(m), 0u);
  ASSERT_TRUE(m.makeFolder({"DIR"}));
  ASSERT_TRUE(m.makeFolder({"DIR", "SUB"}));
  ASSERT_TRUE(m.create({"DIR", "SUB", "A.MID"}));
  ASSERT_TRUE(m.append({"DIR", "SUB", "A.MID"}, Bytes(1, 1)));
  EXPECT_EQ(usedBytes(m), 1024u);
  ASSERT_TRUE(m.create({"DIR", "B.MID"}));
  ASSERT_TRUE(m.append({"DIR", "B.MID"}, Bytes(2049, 1)));
  EXPECT_EQ(usedBytes(m), 1024u + 3072u);
}

// --- Only the in-memory one ---

TEST(InMemoryFileMemory, StorageOrderIsCreationOrder) {
  InMemoryFileMemory m;
  ASSERT_TRUE(m.create({"Z.MID"}));
  ASSERT_TRUE(m.makeFolder({"B"}));
  ASSERT_TRUE(m.create({"A.MID"}));
  ASSERT_TRUE(m.append({"Z.MID"}, Bytes{1}));
  ASSERT_TRUE(m.rename({"B"}, "C"));
  EXPECT_EQ(namesOf(m), (std::vector<std::string>{"Z.MID", "C", "A.MID"}));
}

// --- Only the on-disk one ---

TEST(DirectoryFileMemory, NamesAreUtf8OnDiskAndShiftJisInTheMemory) {
  TempDir dir;
  DirectoryFileMemory m(dir.path());
  // 曲 is 8B C8 in Shift JIS; 表 is 95 5C, its second byte the backslash.
  fs::create_directory(dir.path() / pathFromUtf8("表"));
  writeFile(dir.path() / pathFromUtf8("表") / pathFromUtf8("曲.MID"), Bytes{1, 2, 3});
  EXPECT_EQ(namesOf(m), std::vector<std::string>{"\x95\x5C"});
  EXPECT_EQ(namesOf(m, {"\x95\x5C"}), std::vector<std::string>{"\x8B\xC8.MID"});
  EXPECT_EQ(m.read({"\x95\x5C", "\x8B\xC8.MID"}), (Bytes{1, 2, 3}));

  ASSERT_TRUE(m.makeFolder({"\x83\x5C"}));  // ソ
  ASSERT_TRUE(m.create({"\x83\x5C",
                        "\x8B\xC8"
                        "2.MID"}));
  ASSERT_TRUE(m.append({"\x83\x5C",
                        "\x8B\xC8"
                        "2.MID"},
                       Bytes{4}));
  EXPECT_EQ(readFile(dir.path() / pathFromUtf8("ソ") / pathFromUtf8("曲2.MID")), Bytes{4});
  ASSERT_TRUE(m.rename({"\x83\x5C",
                        "\x8B\xC8"
                        "2.MID"},
                       "\x95\x5C.MID"));
  EXPECT_TRUE(fs::exists(dir.path() / pathFromUtf8("ソ") / pathFromUtf8("表.MID")));
}

TEST(DirectoryFileMemory, ReadOnlyIsTheLackOfWritePermission) {
  TempDir dir;
  DirectoryFileMemory m(dir.path());
  writeFile(dir.path() / "A.MID", Bytes{1});
  writeFile(dir.path() / "B.MID", Bytes{2});
  fs::permissions(dir.path() / "A.MID", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_TRUE(entryOf(m, {"A.MID"})->readOnly);
  EXPECT_FALSE(entryOf(m, {"B.MID"})->readOnly);
  // Refused by the memory itself, also for a user whom permissions do not stop.
  EXPECT_FALSE(m.append({"A.MID"}, Bytes{9}));
  EXPECT_FALSE(m.create({"A.MID"}));
  EXPECT_EQ(readFile(dir.path() / "A.MID"), Bytes{1});

  ASSERT_TRUE(m.setReadOnly({"B.MID"}, true));
  const fs::perms perms = fs::status(dir.path() / "B.MID").permissions();
  EXPECT_EQ(perms & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write), fs::perms::none);
  ASSERT_TRUE(m.setReadOnly({"A.MID"}, false));
  EXPECT_NE(fs::status(dir.path() / "A.MID").permissions() & fs::perms::owner_write, fs::perms::none);
}

#ifndef _WIN32
// wine cannot set the time of a folder.
TEST(DirectoryFileMemory, StorageOrderFollowsModificationTimeNotNames) {
  TempDir dir;
  DirectoryFileMemory m(dir.path());
  writeFile(dir.path() / "A.MID", Bytes{1});
  writeFile(dir.path() / "B.MID", Bytes{1});
  fs::create_directory(dir.path() / "C");
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(dir.path() / "B.MID", now - std::chrono::hours(3));
  fs::last_write_time(dir.path() / "C", now - std::chrono::hours(2));
  fs::last_write_time(dir.path() / "A.MID", now - std::chrono::hours(1));
  EXPECT_EQ(namesOf(m), (std::vector<std::string>{"B.MID", "C", "A.MID"}));
  // A file written again moves to the end.
  ASSERT_TRUE(m.append({"B.MID"}, Bytes{2}));
  EXPECT_EQ(namesOf(m), (std::vector<std::string>{"C", "A.MID", "B.MID"}));
}
#endif

TEST(DirectoryFileMemory, NamesThatWouldLeaveTheRootAreRefused) {
  TempDir outer;
  const fs::path root = outer.path() / "root";
  fs::create_directory(root);
  fs::create_directory(outer.path() / "sibling");
  writeFile(outer.path() / "SECRET.MID", Bytes{7});
  DirectoryFileMemory m(root);
  const std::string withNul("A\0B", 3);
  for (const MemoryPath& path : std::vector<MemoryPath>{{".."},
                                                        {"."},
                                                        {"..", "SECRET.MID"},
                                                        {"..", "sibling"},
                                                        {"a/b"},
                                                        {"/tmp"},
                                                        {""},
                                                        {withNul},
                                                        {"\x81"},             // a lead byte without its trail byte
                                                        {"\x85\x40.MID"}}) {  // a code with no character
    EXPECT_FALSE(m.makeFolder(path));
    EXPECT_FALSE(m.create(path));
    EXPECT_FALSE(m.append(path, Bytes{1}));
    EXPECT_FALSE(m.read(path));
    EXPECT_FALSE(m.removeFile(path));
    EXPECT_FALSE(m.removeFolder(path));
    EXPECT_FALSE(m.setReadOnly(path, true));
    EXPECT_FALSE(m.list(path));
  }
  ASSERT_TRUE(m.create({"A.MID"}));
  EXPECT_FALSE(m.rename({"A.MID"}, ".."));
  EXPECT_FALSE(m.rename({"A.MID"}, "../OUT.MID"));
  EXPECT_FALSE(m.rename({".."}, "X"));
  EXPECT_EQ(readFile(outer.path() / "SECRET.MID"), Bytes{7});
  EXPECT_TRUE(fs::exists(outer.path() / "sibling"));
  EXPECT_EQ(std::distance(fs::directory_iterator(outer.path()), fs::directory_iterator()), 3);
  EXPECT_EQ(namesOf(m), std::vector<std::string>{"A.MID"});
}

#ifndef _WIN32
// Links, FIFOs and names that are not UTF-8 belong to the POSIX file systems.
TEST(DirectoryFileMemory, LinksSpecialFilesAndUnaddressableNamesAreNotPartOfIt) {
  TempDir outer;
  const fs::path root = outer.path() / "root";
  fs::create_directory(root);
  fs::create_directory(outer.path() / "elsewhere");
  writeFile(outer.path() / "elsewhere" / "T.MID", Bytes{5});
  writeFile(root / "REAL.MID", Bytes{1});
  fs::create_symlink(outer.path() / "elsewhere" / "T.MID", root / "LINK.MID");
  fs::create_directory_symlink(outer.path() / "elsewhere", root / "LINKDIR");
  ASSERT_EQ(::mkfifo((root / "FIFO").c_str(), 0644), 0);
  writeFile(root / "\xFF\xFE.MID", Bytes{1});  // not UTF-8
  writeFile(root / "A\\B.MID", Bytes{1});      // a backslash would split its path

  DirectoryFileMemory m(root);
  EXPECT_EQ(namesOf(m), std::vector<std::string>{"REAL.MID"});
  EXPECT_FALSE(m.read({"LINK.MID"}));
  EXPECT_FALSE(m.removeFile({"LINK.MID"}));
  EXPECT_FALSE(m.create({"LINK.MID"}));
  EXPECT_FALSE(m.append({"LINK.MID"}, Bytes{6}));
  EXPECT_FALSE(m.list({"LINKDIR"}));
  EXPECT_FALSE(m.removeFolder({"LINKDIR"}));
  EXPECT_FALSE(m.read({"FIFO"}));
  EXPECT_EQ(readFile(outer.path() / "elsewhere" / "T.MID"), Bytes{5});
  EXPECT_TRUE(fs::is_symlink(root / "LINK.MID"));
}

TEST(DirectoryFileMemory, TheRootItselfMayBeALink) {
  TempDir outer;
  fs::create_directory(outer.path() / "real");
  writeFile(outer.path() / "real" / "A.MID", Bytes{1});
  fs::create_directory_symlink(outer.path() / "real", outer.path() / "link");
  DirectoryFileMemory m(outer.path() / "link");
  EXPECT_EQ(namesOf(m), std::vector<std::string>{"A.MID"});
}
#endif

TEST(DirectoryFileMemory, AMissingRootIsAnEmptyDriveThatRefusesEverything) {
  TempDir outer;
  DirectoryFileMemory m(outer.path() / "missing");
  EXPECT_FALSE(m.list({}));
  EXPECT_FALSE(m.create({"A.MID"}));
  EXPECT_FALSE(m.makeFolder({"DIR"}));
}

// The instrument over a directory: files moved both ways end up on disk byte-exact,
// and a read-only file on disk is refused, even to root.
TEST(DirectoryFileMemory, InstrumentMovesFilesToAndFromTheDisk) {
  TempDir dir;
  fs::create_directory(dir.path() / pathFromUtf8("曲"));
  const Bytes onDisk = patternBytes(1234, 3);
  writeFile(dir.path() / pathFromUtf8("曲") / "SONG.MID", onDisk);
  writeFile(dir.path() / "RO.MID", Bytes{1, 2});
  fs::permissions(dir.path() / "RO.MID", fs::perms::owner_read);
  InstrumentHarness h(InstrumentHarness::fastOptions(), std::make_unique<DirectoryFileMemory>(dir.path()));
  h.enterTransferMode();

  std::uint32_t announced = 0;
  const ReceivedStream fetched = fetchFile(h, "0:\\\x8B\xC8\\song.mid", &announced);
  EXPECT_EQ(announced, onDisk.size());
  EXPECT_EQ(fetched.data, onDisk);

  const Bytes sent = patternBytes(700, 4);
  EXPECT_EQ(storeFile(h, "0:\\\x8B\xC8\\NEW.MID", sent), std::vector<Bytes>{message(SysexId::Finished)});
  EXPECT_EQ(readFile(dir.path() / pathFromUtf8("曲") / "NEW.MID"), sent);

  EXPECT_TRUE(is(SysexId::Error, h.ask(protocol::buildFileHeader(0, 1, "0:\\RO.MID"))));
  EXPECT_TRUE(is(SysexId::CommandRefused, h.ask(protocol::buildPathCommand(SysexId::DeleteFile, 0, "0:\\RO.MID"))));
  EXPECT_EQ(readFile(dir.path() / "RO.MID"), (Bytes{1, 2}));

  EXPECT_TRUE(is(SysexId::CommandAccepted, h.ask(protocol::buildPathCommand(SysexId::MakeFolder, 0, "0:\\NEWDIR"))));
  EXPECT_TRUE(fs::is_directory(dir.path() / "NEWDIR"));
  EXPECT_TRUE(is(SysexId::CommandAccepted, h.ask(protocol::buildRename(0, "0:\\RO.MID", "0:\\RO2.MID"))));
  EXPECT_TRUE(fs::exists(dir.path() / "RO2.MID"));
  EXPECT_EQ(fs::status(dir.path() / "RO2.MID").permissions() & fs::perms::owner_write, fs::perms::none);
}

}  // namespace
}  // namespace quaverly::instrument::testing
