#include <gtest/gtest.h>

#include <unistd.h>
#include <fstream>
#include <string>

#include "app/platform/DynamicLibrary.h"
#include "app/platform/OpenReadOnly.h"
#include "app/platform/Utf8Path.h"
#include "tests/TemporaryFolder.h"

namespace fs = std::filesystem;
using quaverly::platform::pathFromUtf8;
using quaverly::platform::utf8Of;

namespace {

class Utf8PathTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = quaverly::test::makeTemporaryFolder("quaverly-platform"); }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
};

// Names a PC may hold that the ANSI code page of a Western system cannot: the path
// must carry them both ways without loss, to the disk and back from a listing.
TEST_F(Utf8PathTest, NamesOutsideAsciiReachTheDiskAndComeBackFromAListing) {
  for (const std::string name : {"曲のデータ.mid", "ｿﾝｸﾞ.MID", "Überraschung.mid", "日本語フォルダ"}) {
    const fs::path path = folder_ / pathFromUtf8(name);
    { std::ofstream(path) << "x"; }
    ASSERT_TRUE(fs::exists(path)) << name;
    bool listed = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
      listed = listed || utf8Of(entry.path().filename()) == name;
    }
    EXPECT_TRUE(listed) << name;
    const int fd = quaverly::platform::openReadOnly(path);
    EXPECT_GE(fd, 0) << name;
    if (fd >= 0) ::close(fd);
    fs::remove(path);
  }
}

TEST(Utf8Path, JoinsAndSplitsLikeAPath) {
  const fs::path path = pathFromUtf8("歌/サビ.mid");
  EXPECT_EQ(utf8Of(path.filename()), "サビ.mid");
  EXPECT_EQ(utf8Of(path.parent_path()), "歌");
  EXPECT_EQ(utf8Of(pathFromUtf8("")), "");
}

TEST(DynamicLibrary, AMissingLibraryFailsWithTheSystemsReason) {
  quaverly::platform::DynamicLibrary library;
  EXPECT_FALSE(library.open(pathFromUtf8(quaverly::platform::sharedLibraryFileName("NoSuchLibraryHere"))));
  EXPECT_FALSE(library.isOpen());
  EXPECT_FALSE(library.error().empty());
  EXPECT_EQ(library.symbol("anything"), nullptr);
}

}  // namespace
