#include "app/jobs/FolderTree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quaverly {
namespace {

std::vector<std::string> childNames(const FolderTree& tree, FolderNode* parent) {
  std::vector<std::string> names;
  for (FolderNode* n = tree.firstChild(parent); n; n = tree.nextSibling(n)) names.emplace_back(tree.nameOf(n));
  return names;
}

using Names = std::vector<std::string>;

TEST(FolderTree, PositionsClampAndShiftFollowingChildren) {
  FolderTree tree;
  FolderNode* b = tree.insertChild("b", nullptr, 2, FolderTree::kAppend);
  tree.insertChild("d", nullptr, 4, 99);  // past the end: appends
  tree.insertChild("a", nullptr, 1, 0);
  tree.insertChild("c", nullptr, 3, 2);
  EXPECT_EQ(childNames(tree, nullptr), (Names{"a", "b", "c", "d"}));
  // Inserting did not move the node that was already there.
  EXPECT_EQ(tree.nameOf(b), std::string("b"));
  EXPECT_EQ(tree.dataOf(b), 2u);
}

TEST(FolderTree, TopLevelNodesHaveNoVisibleParentAndDepthOne) {
  FolderTree tree;
  FolderNode* top = tree.insertChild("0:", nullptr, 0, FolderTree::kAppend);
  FolderNode* mid = tree.insertChild("POPS", top, 0, FolderTree::kAppend);
  FolderNode* leaf = tree.insertChild("SONG.MID", mid, 0, FolderTree::kAppend);
  EXPECT_EQ(tree.parentOf(top), nullptr);
  EXPECT_EQ(tree.parentOf(leaf), mid);
  EXPECT_EQ(tree.depthOf(top), 1);
  EXPECT_EQ(tree.depthOf(leaf), 3);
  EXPECT_EQ(tree.depthOf(nullptr), 0);
  EXPECT_EQ(tree.parentOf(nullptr), nullptr);
  EXPECT_EQ(tree.nameOf(nullptr), nullptr);
  EXPECT_EQ(tree.dataOf(nullptr), 0u);
}

TEST(FolderTree, NextSiblingOfTheLastChildAndOfNoneIsNone) {
  FolderTree tree;
  FolderNode* a = tree.insertChild("a", nullptr, 0, FolderTree::kAppend);
  FolderNode* b = tree.insertChild("b", nullptr, 0, FolderTree::kAppend);
  EXPECT_EQ(tree.nextSibling(a), b);
  EXPECT_EQ(tree.nextSibling(b), nullptr);
  EXPECT_EQ(tree.nextSibling(nullptr), nullptr);
  EXPECT_EQ(tree.firstChild(b), nullptr);
}

TEST(FolderTree, SetDataReturnsThePreviousValue) {
  FolderTree tree;
  FolderNode* n = tree.insertChild("n", nullptr, 0xFFFFFFFFu, FolderTree::kAppend);
  EXPECT_EQ(tree.setData(nullptr, 5), -1);
  EXPECT_EQ(tree.setData(n, 7), 0xFFFFFFFFll);  // distinct from the failure value
  EXPECT_EQ(tree.setData(n, 8), 7);
  EXPECT_EQ(tree.dataOf(n), 8u);
}

TEST(FolderTree, RemovingTheRootContainerEmptiesButKeepsTheTreeUsable) {
  FolderTree tree;
  FolderNode* a = tree.insertChild("a", nullptr, 0, FolderTree::kAppend);
  tree.insertChild("a1", a, 0, FolderTree::kAppend);
  tree.insertChild("b", nullptr, 0, FolderTree::kAppend);
  tree.removeNode(nullptr);
  EXPECT_EQ(tree.firstChild(nullptr), nullptr);
  FolderNode* c = tree.insertChild("c", nullptr, 0, FolderTree::kAppend);
  EXPECT_EQ(tree.firstChild(nullptr), c);
}

TEST(FolderTree, RemoveNodeUnlinksOnlyThatSubtree) {
  FolderTree tree;
  FolderNode* a = tree.insertChild("a", nullptr, 0, FolderTree::kAppend);
  FolderNode* b = tree.insertChild("b", nullptr, 0, FolderTree::kAppend);
  FolderNode* c = tree.insertChild("c", nullptr, 0, FolderTree::kAppend);
  FolderNode* deep = b;
  for (int i = 0; i < 50; ++i) deep = tree.insertChild("x" + std::to_string(i), deep, 0, FolderTree::kAppend);
  tree.removeNode(b);
  EXPECT_EQ(childNames(tree, nullptr), (Names{"a", "c"}));
  EXPECT_EQ(tree.nextSibling(a), c);
}

TEST(FolderTree, ClearChildrenKeepsTheNode) {
  FolderTree tree;
  FolderNode* a = tree.insertChild("a", nullptr, 9, FolderTree::kAppend);
  tree.insertChild("x", a, 0, FolderTree::kAppend);
  tree.insertChild("y", a, 0, FolderTree::kAppend);
  tree.clearChildren(a);
  EXPECT_EQ(tree.firstChild(a), nullptr);
  EXPECT_EQ(a->childCount(), 0u);
  EXPECT_EQ(tree.dataOf(a), 9u);
}

TEST(FolderTree, AVeryDeepTreeIsDestroyedWithoutRecursion) {
  auto tree = std::make_unique<FolderTree>();
  FolderNode* deep = nullptr;
  for (int i = 0; i < 200000; ++i) deep = tree->insertChild("d", deep, 0, FolderTree::kAppend);
  EXPECT_EQ(tree->depthOf(deep), 200000);
  tree.reset();  // must not overflow the stack
}

TEST(FolderTree, RenameKeepsPositionAndCopiesTheName) {
  FolderTree tree;
  tree.insertChild("a", nullptr, 0, FolderTree::kAppend);
  FolderNode* b = tree.insertChild("b", nullptr, 0, FolderTree::kAppend);
  std::string newName = "zz";
  EXPECT_TRUE(tree.renameNode(b, newName));
  newName[0] = '!';
  EXPECT_EQ(childNames(tree, nullptr), (Names{"a", "zz"}));
  EXPECT_FALSE(tree.renameNode(nullptr, "q"));
}

TEST(FolderTree, NamesAreByteStringsCopiedAtInsertion) {
  FolderTree tree;
  std::string name = "\x83\x5C\x83\x93\x83\x4F.MID";  // Shift JIS with a 0x5C trail byte
  FolderNode* n = tree.insertChild(name, nullptr, 0, FolderTree::kAppend);
  name.assign("other");
  EXPECT_EQ(std::string(tree.nameOf(n)), "\x83\x5C\x83\x93\x83\x4F.MID");
}

}  // namespace
}  // namespace quaverly
