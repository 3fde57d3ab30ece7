// The instrument folder tree over the whole stack: the built Tonelink library loaded
// by file name, the link, and the virtual instrument keeping its memory in a
// directory the test fills.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/jobs/InstrumentFileCommands.h"
#include "app/jobs/InstrumentFolderTree.h"
#include "app/messages/MessageCatalogue.h"
#include "app/protocol/Connection.h"
#include "app/protocol/Link.h"
#include "app/protocol/PortLibraryBinding.h"

namespace quaverly {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Ends the process with a message if a test runs for longer than any of its waits
// can, so that a hang fails instead of stalling the run.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!stopped_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: the test did not finish within %lld s\n",
                         static_cast<long long>(limit.count()));
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    stopped_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool done_ = false;
  std::thread thread_;
};

class NoConnectionUi final : public protocol::ConnectionUi {
 public:
  void showWait(std::string_view) override {}
  void pump() override {}
  void closeWait() override {}
};

void writeFile(const fs::path& path, std::size_t size) {
  std::ofstream out(path, std::ios::binary);
  const std::string bytes(size, 'x');
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class InstrumentFolderTreeLinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/quaverly-tree-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    memoryDir_ = new fs::path(pattern);
    // The instrument's memory is read when its device opens; the environment is set
    // before the library is loaded all the same. No real device's name comes from
    // the user's settings.
    setenv("QUAVERLY_INSTRUMENT_DIR", memoryDir_->c_str(), 1);
    unsetenv("QUAVERLY_INSTRUMENT_DEVICE");
    setenv("XDG_CONFIG_HOME", "/nonexistent-quaverly-test", 1);

    binding_ = new protocol::PortLibraryBinding();
    ASSERT_TRUE(binding_->load(fs::path(TONELINK_LIBRARY_PATH).parent_path())) << binding_->error();
    protocol::Link::instance().bind(&binding_->input, &binding_->output);
    // The virtual instrument is listed after every real device: the highest id each
    // port accepts.
    for (protocol::PortFunctionTable* table : {static_cast<protocol::PortFunctionTable*>(&binding_->input),
                                               static_cast<protocol::PortFunctionTable*>(&binding_->output)}) {
      unsigned id = 0;
      table->setDeviceId(table->direction, 0);
      while (id < 4096 &&
             (table->setDeviceId(table->direction, id + 1), table->getDeviceId(table->direction) == id + 1)) {
        ++id;
      }
    }
  }

  static void TearDownTestSuite() {
    protocol::Link::instance().bind(nullptr, nullptr);
    delete binding_;
    binding_ = nullptr;
    if (memoryDir_) {
      std::error_code ignored;
      fs::permissions(*memoryDir_ / "RO.MID", fs::perms::owner_write, fs::perm_options::add, ignored);
      fs::remove_all(*memoryDir_, ignored);
    }
    delete memoryDir_;
    memoryDir_ = nullptr;
  }

  // A fresh memory for every test:
  //   POPS\OLD\X.MID (5 bytes), POPS\SONG1.MID (1234), a.mid (10), RO.MID (20,
  //   read-only) and the empty folder EMPTY.
  // Names stay ASCII: a SysEx data byte has 7 bits, so a Shift JIS name cannot travel.
  void SetUp() override {
    ASSERT_TRUE(binding_ && binding_->isComplete());
    const fs::path& root = *memoryDir_;
    std::error_code ignored;
    fs::permissions(root / "RO.MID", fs::perms::owner_write, fs::perm_options::add, ignored);
    for (const auto& e : fs::directory_iterator(root)) fs::remove_all(e.path());
    fs::create_directories(root / "POPS" / "OLD");
    fs::create_directory(root / "EMPTY");
    writeFile(root / "POPS" / "OLD" / "X.MID", 5);
    writeFile(root / "POPS" / "SONG1.MID", 1234);
    writeFile(root / "a.mid", 10);
    writeFile(root / "RO.MID", 20);
    fs::permissions(root / "RO.MID", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);

    protocol::ConnectionTimings timings;
    timings.settle = std::chrono::milliseconds(0);
    timings.identifyLimit = std::chrono::milliseconds(1000);
    timings.remoteModeDelay = std::chrono::milliseconds(0);
    timings.remoteCheckLimit = std::chrono::milliseconds(2000);
    ASSERT_NE(protocol::linkConnect(link(), ui_, timings), 0) << "messages: " << messages_.size();
    connected_ = true;
  }

  void TearDown() override {
    if (connected_) protocol::linkDisconnect(link());
    EXPECT_TRUE(messages_.empty()) << messages_.front();
  }

  static protocol::Link& link() { return protocol::Link::instance(); }
  const fs::path& root() const { return *memoryDir_; }

  Names childNames(const FolderNode* parent) const {
    Names names;
    for (FolderNode* n = tree_.firstChild(const_cast<FolderNode*>(parent)); n; n = tree_.nextSibling(n)) {
      names.emplace_back(tree_.nameOf(n));
    }
    return names;
  }

  static fs::path* memoryDir_;
  static protocol::PortLibraryBinding* binding_;

  Watchdog watchdog_{std::chrono::seconds(100)};
  std::vector<std::string> messages_;
  ScopedMessagePresenter presenter_{[this](MessageStyle, std::string_view text) {
    messages_.emplace_back(text);
    return MessageResult::Ok;
  }};
  NoConnectionUi ui_;
  bool connected_ = false;
  LinkFileCommands commands_{link()};
  InstrumentFolderTree tree_{commands_};
};

fs::path* InstrumentFolderTreeLinkTest::memoryDir_ = nullptr;
protocol::PortLibraryBinding* InstrumentFolderTreeLinkTest::binding_ = nullptr;

TEST_F(InstrumentFolderTreeLinkTest, ListingAndOpeningMirrorTheInstrumentsMemory) {
  tree_.listFolder(nullptr);
  EXPECT_FALSE(link().state().timedOut);  // the instrument ended the listing itself
  FolderNode* drive = tree_.drive();
  EXPECT_EQ(tree_.dataOf(drive), 1u);
  EXPECT_EQ(childNames(drive), (Names{"EMPTY", "POPS", "a.mid", "RO.MID"}));
  EXPECT_EQ(tree_.sizeOf(tree_.findByPath("0:\\A.MID")), 10u);
  EXPECT_EQ(tree_.sizeOf(tree_.findByPath("0:\\RO.MID")), 20u);
  FolderNode* readOnly = tree_.findByPath("0:\\RO.MID");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_TRUE(tree_.isReadOnly(readOnly));
  EXPECT_FALSE(tree_.isReadOnly(tree_.findByPath("0:\\a.mid")));
  EXPECT_EQ(tree_.sizeOf(tree_.findByPath("0:\\POPS")), 0xFFFFFFFFu);

  // A sub-folder's listing carries "." and ".."; neither becomes a node.
  FolderNode* pops = tree_.findByPath("0:\\pops");
  tree_.listFolder(pops);
  EXPECT_EQ(childNames(pops), (Names{"OLD", "SONG1.MID"}));
  EXPECT_EQ(tree_.kindOf(pops), InstrumentFolderTree::kFolderListed);
  FolderNode* empty = tree_.findByPath("0:\\EMPTY");
  tree_.listFolder(empty);
  EXPECT_EQ(tree_.kindOf(empty), InstrumentFolderTree::kFolderListed);
  EXPECT_TRUE(childNames(empty).empty());

  FolderNode* old = tree_.openPath("0:\\POPS\\OLD");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(tree_.pathOf(old), "0:\\POPS\\OLD");
  EXPECT_EQ(childNames(old), Names{"X.MID"});
  EXPECT_EQ(tree_.sizeOf(tree_.findByPath("0:\\POPS\\OLD\\X.MID")), 5u);
  EXPECT_EQ(tree_.kindOf(tree_.findByPath("0:\\EMPTY")), InstrumentFolderTree::kFolderUnlisted);  // rebuilt
  // The walk matches names exactly, though the instrument would accept any case.
  EXPECT_EQ(tree_.openPath("0:\\pops"), nullptr);
}

TEST_F(InstrumentFolderTreeLinkTest, RenameAndDeleteChangeTheTreeOnlyWhenTheInstrumentAccepts) {
  ASSERT_NE(tree_.openPath("0:\\POPS"), nullptr);

  FolderNode* song = tree_.findByPath("0:\\POPS\\SONG1.MID");
  ASSERT_TRUE(tree_.renameEntry(song, "SONG2.MID"));
  EXPECT_EQ(tree_.nameOf(song), std::string("SONG2.MID"));
  EXPECT_TRUE(fs::exists(root() / "POPS" / "SONG2.MID"));
  EXPECT_FALSE(fs::exists(root() / "POPS" / "SONG1.MID"));

  // The instrument refuses a name that breaks its rule.
  FolderNode* a = tree_.findByPath("0:\\a.mid");
  EXPECT_FALSE(tree_.renameEntry(a, "TOOLONGNAME.MID"));
  EXPECT_EQ(tree_.nameOf(a), std::string("a.mid"));
  EXPECT_TRUE(fs::exists(root() / "a.mid"));

  // A change of case only is a rename like any other.
  FolderNode* x = tree_.findByPath("0:\\POPS\\OLD");
  ASSERT_TRUE(tree_.renameEntry(x, "Old"));
  EXPECT_TRUE(fs::exists(root() / "POPS" / "Old"));
  EXPECT_EQ(tree_.findByPath("0:\\POPS\\OLD"), x);

  ASSERT_TRUE(tree_.deleteEntry(a));
  EXPECT_FALSE(fs::exists(root() / "a.mid"));
  EXPECT_EQ(tree_.findByPath("0:\\a.mid"), nullptr);

  // A read-only file and a file that went away behind the tree's back are refused.
  FolderNode* readOnly = tree_.findByPath("0:\\RO.MID");
  EXPECT_FALSE(tree_.deleteEntry(readOnly));
  EXPECT_EQ(tree_.findByPath("0:\\RO.MID"), readOnly);
  EXPECT_TRUE(fs::exists(root() / "RO.MID"));
  fs::remove(root() / "POPS" / "SONG2.MID");
  EXPECT_FALSE(tree_.deleteEntry(song));
  EXPECT_EQ(tree_.findByPath("0:\\POPS\\SONG2.MID"), song);

  // Rebuilt, the tree shows what the instrument now holds.
  ASSERT_NE(tree_.openPath("0:\\POPS"), nullptr);
  EXPECT_EQ(childNames(tree_.drive()), (Names{"EMPTY", "POPS", "RO.MID"}));
  EXPECT_EQ(childNames(tree_.findByPath("0:\\POPS")), Names{"Old"});
}

}  // namespace
}  // namespace quaverly
