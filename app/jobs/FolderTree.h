// A small tree of named nodes, each carrying one 32-bit value and optionally a few
// words of its own (the instrument tree keeps a file's size there). It is the shared
// container behind every folder view of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly {

class FolderTree;

// One node. The tree owns every node; a node's address stays valid until the node
// itself is removed, whatever happens to the others.
class FolderNode {
 public:
  FolderNode(const FolderNode&) = delete;
  FolderNode& operator=(const FolderNode&) = delete;
  ~FolderNode();

  std::size_t childCount() const { return children_.size(); }
  FolderNode* childAt(std::size_t position) const {
    return position < children_.size() ? children_[position].get() : nullptr;
  }
  std::span<const std::uint32_t> extraWords() const { return extra_; }

 private:
  friend class FolderTree;
  FolderNode() = default;

  FolderNode* parent_ = nullptr;  // none only for the hidden root container
  std::string name_;
  std::uint32_t data_ = 0;
  std::vector<std::unique_ptr<FolderNode>> children_;
  std::vector<std::uint32_t> extra_;
};

class FolderTree {
 public:
  // Position that appends after the last child.
  static constexpr std::size_t kAppend = static_cast<std::size_t>(-1);

  FolderTree();
  virtual ~FolderTree();
  FolderTree(const FolderTree&) = delete;
  FolderTree& operator=(const FolderTree&) = delete;

  // Inserts a new node with a private copy of `name` under `parent` (none = the top
  // level) at `position`; a position past the last child appends. Returns the node,
  // or none when memory runs out (nothing is changed then).
  FolderNode* insertChild(std::string_view name, FolderNode* parent, std::uint32_t data, std::size_t position);

  // Destroys the node and its whole subtree; none empties the tree.
  void removeNode(FolderNode* node);
  // Destroys every child subtree of the node (none = the top level); the node stays.
  void clearChildren(FolderNode* node);

  FolderNode* firstChild(FolderNode* node) const;
  FolderNode* nextSibling(const FolderNode* node) const;
  // The node above, or none for a top-level node (the root container is never shown).
  FolderNode* parentOf(const FolderNode* node) const;
  // The name as a NUL-terminated byte string, or none for none.
  const char* nameOf(const FolderNode* node) const;
  std::uint32_t dataOf(const FolderNode* node) const;
  // Replaces the data and returns the previous value; -1 for none.
  std::int64_t setData(FolderNode* node, std::uint32_t data);
  // Parent steps up to the root container: 1 for a top-level node, 0 for none.
  int depthOf(const FolderNode* node) const;
  // Replaces the name in place; false (old name kept) for none or when memory runs out.
  bool renameNode(FolderNode* node, std::string_view name);

 protected:
  // For specialisations: insertion with extra words, and the root container.
  FolderNode* insertChildWithExtra(std::string_view name, FolderNode* parent, std::uint32_t data, std::size_t position,
                                   std::span<const std::uint32_t> extra);
  FolderNode* rootContainer() const { return root_.get(); }

 private:
  static void destroySubtrees(std::vector<std::unique_ptr<FolderNode>>& children);

  std::unique_ptr<FolderNode> root_;
};

}  // namespace quaverly
