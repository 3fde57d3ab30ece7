// The plans of get -r and put -r: which entries go where, and which are refused
// before anything moves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "cli/ReceivePlan.h"
#include "cli/SendPlan.h"

namespace quaverly::cli {
namespace {

namespace fs = std::filesystem;

// A tree that is never asked anything: each folder lists as empty.
class NoCommands final : public InstrumentFileCommands {
 public:
  protocol::LinkResult findFirst(std::uint8_t, std::string_view, protocol::DirectoryEntry&) override {
    return protocol::kLinkRefused;
  }
  protocol::LinkResult findNext(protocol::DirectoryEntry&) override { return protocol::kLinkRefused; }
  protocol::LinkResult rename(std::string_view, std::string_view) override { return protocol::kLinkRefused; }
  protocol::LinkResult deleteFile(std::string_view) override { return protocol::kLinkRefused; }
};

constexpr std::uint8_t kFolder = 0x10;
constexpr std::uint8_t kFile = 0x20;

class ReceivePlanTest : public ::testing::Test {
 protected:
  FolderNode* folder(FolderNode* parent, std::string_view name) {
    return tree_.insertSorted(name, parent ? parent : tree_.drive(), kFolder, 0);
  }
  FolderNode* file(FolderNode* parent, std::string_view name) {
    return tree_.insertSorted(name, parent ? parent : tree_.drive(), kFile, 10);
  }
  // Each planned file as "SUBFOLDER|NAME".
  std::vector<std::string> planned(const ReceivePlan& plan) const {
    std::vector<std::string> result;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
      result.push_back(plan.subfolders[i] + "|" + tree_.nameOf(plan.files[i]));
    }
    return result;
  }

  NoCommands commands_;
  InstrumentFolderTree tree_{commands_};
};

TEST_F(ReceivePlanTest, MirrorsTheTreeAndLeavesOutNamesThatCannotBePcNames) {
  tree_.listFolder(nullptr);
  FolderNode* pops = folder(nullptr, "POPS");
  FolderNode* old = folder(pops, "OLD");
  file(old, "DEEP.MID");
  file(pops, "A.MID");
  file(pops, "../ESCAPE.MID");
  FolderNode* hostile = folder(pops, "X/..");
  file(hostile, "INSIDE.MID");
  file(nullptr, "TOP.MID");
  folder(nullptr, "EMPTY");

  ReceivePlanner planner(tree_, 200);
  planner.add(tree_.drive());
  planner.add(pops);  // inside the drive: planned already
  const ReceivePlan& plan = planner.plan();
  EXPECT_EQ(planned(plan), (std::vector<std::string>{"POPS/OLD|DEEP.MID", "POPS|A.MID", "|TOP.MID"}));
  EXPECT_EQ(plan.folders, (std::vector<std::string>{"EMPTY", "POPS", "POPS/OLD"}));
  EXPECT_EQ(plan.refused, (std::vector<std::string>{"0:\\POPS\\X/..", "0:\\POPS\\../ESCAPE.MID"}));
  EXPECT_TRUE(plan.clashes.empty());

  // A folder named on its own becomes a folder of its name.
  ReceivePlanner one(tree_, 200);
  one.add(old);
  EXPECT_EQ(planned(one.plan()), std::vector<std::string>{"OLD|DEEP.MID"});
}

TEST_F(ReceivePlanTest, NamesThatMeetOnThePcAndPathsTooDeepAreReported) {
  tree_.listFolder(nullptr);
  FolderNode* a = folder(nullptr, "A");
  FolderNode* b = folder(nullptr, "B");
  file(folder(a, "SUB"), "X.MID");
  file(folder(b, "sub"), "Y.MID");
  FolderNode* deep = folder(nullptr, "DEEPER");
  file(deep, "LONGNAME.MID");

  ReceivePlanner planner(tree_, std::string("0:\\DEEPER\\LONGNAME.MID").size() - 1);
  planner.add(tree_.findByPath("0:\\A\\SUB"));
  planner.add(tree_.findByPath("0:\\B\\SUB"));
  planner.add(deep);
  const ReceivePlan& plan = planner.plan();
  ASSERT_EQ(plan.clashes.size(), 1u);
  EXPECT_EQ(plan.clashes[0], std::make_pair(std::string("0:\\A\\SUB"), std::string("0:\\B\\sub")));
  EXPECT_EQ(plan.refused, std::vector<std::string>{"0:\\DEEPER\\LONGNAME.MID"});
}

class SendPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quaverly-send-plan-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path make(const std::string& relative) {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    return path;
  }
  fs::path root_;
};

TEST_F(SendPlanTest, MirrorsFoldersInNameOrderBelowTheDestination) {
  make("SONGS/B.MID");
  make("SONGS/A.MID");
  make("SONGS/SUB/DEEP/C.MID");
  fs::create_directories(root_ / "SONGS" / "EMPTY");
  const fs::path top = make("TOP.MID");
  SendPlanner planner(2, 200);
  planner.add(root_ / "SONGS" / "");  // a trailing slash still names SONGS
  planner.add(top);
  const SendPlan& plan = planner.plan();
  EXPECT_TRUE(plan.refused.empty());
  EXPECT_EQ(plan.folders, (std::vector<std::string>{"SONGS", "SONGS\\EMPTY", "SONGS\\SUB", "SONGS\\SUB\\DEEP"}));
  ASSERT_EQ(plan.files.size(), 4u);
  EXPECT_EQ(fs::path(plan.files[3]), top);
  EXPECT_EQ(plan.subfolders, (std::vector<std::string>{"SONGS", "SONGS", "SONGS\\SUB\\DEEP", ""}));
  EXPECT_EQ(fs::path(plan.files[0]).filename(), "A.MID");
}

TEST_F(SendPlanTest, EveryEntryThatCannotBeSentIsListed) {
  make("LIB/GOOD.MID");
  make("LIB/longfilename.mid");
  make("LIB/TOOLONGDIR/X.MID");  // left out with its contents: one line
  make("LIB/SAME.MID");
  make("LIB/same.mid");
  SendPlanner planner(2, 200);
  planner.add(root_ / "LIB");
  planner.add(root_ / "MISSING.MID");
  const std::vector<std::string>& refused = planner.plan().refused;
  ASSERT_EQ(refused.size(), 4u) << ::testing::PrintToString(refused);
  EXPECT_NE(refused[0].find("TOOLONGDIR': the instrument takes only 8.3 names"), std::string::npos);
  EXPECT_NE(refused[1].find("longfilename.mid': the instrument takes only 8.3 names"), std::string::npos);
  EXPECT_NE(refused[2].find("same.mid': the instrument cannot tell it from"), std::string::npos);
  EXPECT_NE(refused[3].find("MISSING.MID': no such file or folder"), std::string::npos);

  // The destination's own path counts towards the length.
  SendPlanner deep(200 - std::string("\\LIB\\GOOD.MID").size() + 1, 200);
  deep.add(root_ / "LIB" / "GOOD.MID");
  EXPECT_TRUE(deep.plan().refused.empty());
  SendPlanner tooDeep(200 - std::string("\\GOOD.MID").size() + 1, 200);
  tooDeep.add(root_ / "LIB" / "GOOD.MID");
  EXPECT_EQ(tooDeep.plan().refused.size(), 1u);
}

}  // namespace
}  // namespace quaverly::cli
