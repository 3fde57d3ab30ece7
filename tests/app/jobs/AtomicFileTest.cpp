#include "app/jobs/AtomicFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>

namespace quaverly {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quaverly-atomic-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  static Bytes read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path m_dir;
};

TEST_F(AtomicFileTest, WritesNewFileAndLeavesNoTemporaryFile) {
  Bytes bytes(3'000'000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
  EXPECT_FALSE(writeFileAtomically(m_dir / "SONG.MID", bytes).has_value());
  EXPECT_EQ(read(m_dir / "SONG.MID"), bytes);
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});

  EXPECT_FALSE(writeFileAtomically(m_dir / "EMPTY.MID", {}).has_value());
  EXPECT_TRUE(fs::exists(m_dir / "EMPTY.MID"));
  EXPECT_EQ(fs::file_size(m_dir / "EMPTY.MID"), 0u);
}

TEST_F(AtomicFileTest, ReplacesExistingFileAndKeepsItsPermissions) {
  const fs::path target = m_dir / "SONG.MID";
  ASSERT_FALSE(writeFileAtomically(target, Bytes{1, 2, 3, 4, 5, 6}).has_value());
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  EXPECT_FALSE(writeFileAtomically(target, Bytes{9, 8}).has_value());
  EXPECT_EQ(read(target), (Bytes{9, 8}));
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});
}

TEST_F(AtomicFileTest, FailuresReturnTheErrorAndLeaveNothingBehind) {
  const auto missing = writeFileAtomically(m_dir / "no-such-folder" / "SONG.MID", Bytes{1});
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(missing->code, ENOENT);
  EXPECT_FALSE(missing->text.empty());

  // A folder in the way: the rename fails after the data was written.
  fs::create_directory(m_dir / "SONG.MID");
  const auto folder = writeFileAtomically(m_dir / "SONG.MID", Bytes{1, 2, 3});
  ASSERT_TRUE(folder.has_value());
  EXPECT_TRUE(fs::is_directory(m_dir / "SONG.MID"));
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});

  // A path that names no file.
  EXPECT_TRUE(writeFileAtomically(m_dir / "..", Bytes{1}).has_value());
}

TEST_F(AtomicFileTest, FailedWriteKeepsTheOldFile) {
  const fs::path target = m_dir / "SONG.MID";
  const Bytes old{1, 2, 3};
  ASSERT_FALSE(writeFileAtomically(target, old).has_value());

  // A file size limit makes the write fail part way, as a full disk would.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 65536;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto error = writeFileAtomically(target, Bytes(1'000'000, 0x55));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->code, EFBIG);
  EXPECT_EQ(read(target), old);
  EXPECT_EQ(entries(), std::vector<std::string>{"SONG.MID"});
}

}  // namespace
}  // namespace quaverly
