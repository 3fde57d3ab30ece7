#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/jobs/AtomicFile.h"
#include "app/platform/Utf8Path.h"
#include "tests/TemporaryFolder.h"

namespace quaverly {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class AtomicFileWin32Test : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test::makeTemporaryFolder("quaverly-atomic"); }
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(dir_))
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static Bytes read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  static bool isReadOnly(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(platform::utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

TEST_F(AtomicFileWin32Test, WritesAFileNamedInJapaneseAndLeavesNoTemporaryFile) {
  const fs::path target = dir_ / platform::pathFromUtf8("曲データ.MID");
  ASSERT_FALSE(writeFileAtomically(target, Bytes{1, 2, 3}).has_value());
  EXPECT_EQ(read(target), (Bytes{1, 2, 3}));
  EXPECT_EQ(entries(), std::vector<std::string>{"曲データ.MID"});
}

// The system refuses to move a file over a read-only one; the replacement still takes
// place and the new file is read-only like the old one.
TEST_F(AtomicFileWin32Test, ReplacesAReadOnlyFileAndKeepsItReadOnly) {
  const fs::path target = dir_ / "SONG.MID";
  ASSERT_FALSE(writeFileAtomically(target, Bytes{1, 2, 3, 4}).has_value());
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(writeFileAtomically(target, Bytes{9, 8}).has_value());
  EXPECT_EQ(read(target), (Bytes{9, 8}));
  EXPECT_TRUE(isReadOnly(target));
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});
}

// A reader holding the file without sharing it makes the move fail: the old file
// stays as it was, read-only again, and the temporary file is gone.
TEST_F(AtomicFileWin32Test, AFileHeldOpenIsLeftAsItWas) {
  const fs::path target = dir_ / "SONG.MID";
  ASSERT_FALSE(writeFileAtomically(target, Bytes{1, 2, 3}).has_value());
  ASSERT_TRUE(SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
  const HANDLE held = CreateFileW(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto error = writeFileAtomically(target, Bytes{7, 7, 7, 7});
  CloseHandle(held);
  ASSERT_TRUE(error.has_value());
  EXPECT_FALSE(error->text.empty());
  EXPECT_EQ(read(target), (Bytes{1, 2, 3}));
  EXPECT_TRUE(isReadOnly(target));
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});
}

TEST_F(AtomicFileWin32Test, FailuresReturnTheSystemsErrorAndLeaveNothingBehind) {
  const auto missing = writeFileAtomically(dir_ / "no-such-folder" / "SONG.MID", Bytes{1});
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->code, ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(missing->text.empty());

  fs::create_directory(dir_ / "SONG.MID");
  EXPECT_TRUE(writeFileAtomically(dir_ / "SONG.MID", Bytes{1, 2, 3}).has_value());
  EXPECT_TRUE(fs::is_directory(dir_ / "SONG.MID"));
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});
  EXPECT_TRUE(writeFileAtomically(dir_ / "..", Bytes{1}).has_value());
}

}  // namespace
}  // namespace quaverly
