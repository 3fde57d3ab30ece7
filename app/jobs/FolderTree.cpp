#include "app/jobs/FolderTree.h"

#include <algorithm>
#include <new>

namespace quaverly {

FolderNode::~FolderNode() = default;

FolderTree::FolderTree() : root_(new FolderNode()) {}

FolderTree::~FolderTree() { clearChildren(nullptr); }

FolderNode* FolderTree::insertChild(std::string_view name, FolderNode* parent, std::uint32_t data,
                                    std::size_t position) {
  return insertChildWithExtra(name, parent, data, position, {});
}

FolderNode* FolderTree::insertChildWithExtra(std::string_view name, FolderNode* parent, std::uint32_t data,
                                             std::size_t position, std::span<const std::uint32_t> extra) {
  FolderNode* container = parent ? parent : root_.get();
  if (!container) return nullptr;
  try {
    std::unique_ptr<FolderNode> node(new FolderNode());
    node->parent_ = container;
    node->name_.assign(name);
    node->data_ = data;
    node->extra_.assign(extra.begin(), extra.end());
    const std::size_t at = std::min(position, container->children_.size());
    FolderNode* raw = node.get();
    container->children_.insert(container->children_.begin() + static_cast<std::ptrdiff_t>(at), std::move(node));
    return raw;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void FolderTree::removeNode(FolderNode* node) {
  if (!node || node == root_.get()) {
    clearChildren(root_.get());
    return;
  }
  clearChildren(node);
  FolderNode* parent = node->parent_;
  if (!parent) return;
  auto& siblings = parent->children_;
  const auto it = std::find_if(siblings.begin(), siblings.end(), [node](const auto& c) { return c.get() == node; });
  if (it != siblings.end()) siblings.erase(it);
}

void FolderTree::clearChildren(FolderNode* node) {
  FolderNode* container = node ? node : root_.get();
  destroySubtrees(container->children_);
}

FolderNode* FolderTree::firstChild(FolderNode* node) const {
  const FolderNode* container = node ? node : root_.get();
  return container->childAt(0);
}

FolderNode* FolderTree::nextSibling(const FolderNode* node) const {
  if (!node || !node->parent_) return nullptr;
  const auto& siblings = node->parent_->children_;
  for (std::size_t i = 0; i < siblings.size(); ++i) {
    if (siblings[i].get() == node) return i + 1 < siblings.size() ? siblings[i + 1].get() : nullptr;
  }
  return nullptr;
}

FolderNode* FolderTree::parentOf(const FolderNode* node) const {
  if (!node || node->parent_ == root_.get()) return nullptr;
  return node->parent_;
}

const char* FolderTree::nameOf(const FolderNode* node) const {
  if (!node || node == root_.get()) return nullptr;
  return node->name_.c_str();
}

std::uint32_t FolderTree::dataOf(const FolderNode* node) const { return node ? node->data_ : 0; }

std::int64_t FolderTree::setData(FolderNode* node, std::uint32_t data) {
  if (!node) return -1;
  const std::uint32_t previous = node->data_;
  node->data_ = data;
  return previous;
}

int FolderTree::depthOf(const FolderNode* node) const {
  int depth = 0;
  for (const FolderNode* n = node; n && n->parent_; n = n->parent_) ++depth;
  return depth;
}

bool FolderTree::renameNode(FolderNode* node, std::string_view name) {
  if (!node) return false;
  try {
    std::string copy(name);
    node->name_.swap(copy);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Frees the subtrees without recursion, so that a very deep tree cannot exhaust the
// stack: each node's children are moved to the pending list before the node goes.
void FolderTree::destroySubtrees(std::vector<std::unique_ptr<FolderNode>>& children) {
  std::vector<std::unique_ptr<FolderNode>> pending;
  pending.swap(children);
  while (!pending.empty()) {
    std::unique_ptr<FolderNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children_) pending.push_back(std::move(child));
  }
}

}  // namespace quaverly
