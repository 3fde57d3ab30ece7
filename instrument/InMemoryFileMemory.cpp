#include "instrument/InMemoryFileMemory.h"

#include <algorithm>

namespace quaverly::instrument {

struct InMemoryFileMemory::Node {
  std::string name;
  bool folder = false;
  bool readOnly = false;
  std::vector<std::uint8_t> data;
  std::vector<std::unique_ptr<Node>> children;  // storage order: creation order

  Node* child(const std::string& childName) const {
    for (const auto& c : children) {
      if (c->name == childName) return c.get();
    }
    return nullptr;
  }
};

InMemoryFileMemory::InMemoryFileMemory() : drive_(std::make_unique<Node>()) { drive_->folder = true; }

InMemoryFileMemory::~InMemoryFileMemory() = default;

InMemoryFileMemory::Node* InMemoryFileMemory::find(const MemoryPath& path) const {
  Node* node = drive_.get();
  for (const std::string& part : path) {
    if (!node->folder) return nullptr;
    node = node->child(part);
    if (!node) return nullptr;
  }
  return node;
}

InMemoryFileMemory::Node* InMemoryFileMemory::parentFolder(const MemoryPath& path) const {
  if (path.empty()) return nullptr;
  Node* parent = find(MemoryPath(path.begin(), path.end() - 1));
  return parent && parent->folder ? parent : nullptr;
}

std::optional<std::vector<MemoryEntry>> InMemoryFileMemory::list(const MemoryPath& folder) const {
  const Node* node = find(folder);
  if (!node || !node->folder) return std::nullopt;
  std::vector<MemoryEntry> entries;
  for (const auto& c : node->children) {
    entries.push_back({c->name, c->folder, c->readOnly, static_cast<std::uint32_t>(c->data.size())});
  }
  return entries;
}

bool InMemoryFileMemory::makeFolder(const MemoryPath& path) {
  Node* parent = parentFolder(path);
  if (!parent || parent->child(path.back())) return false;
  auto node = std::make_unique<Node>();
  node->name = path.back();
  node->folder = true;
  parent->children.push_back(std::move(node));
  return true;
}

bool InMemoryFileMemory::removeFolder(const MemoryPath& path) {
  Node* parent = parentFolder(path);
  Node* node = parent ? parent->child(path.back()) : nullptr;
  if (!node || !node->folder || !node->children.empty()) return false;
  std::erase_if(parent->children, [node](const auto& c) { return c.get() == node; });
  return true;
}

bool InMemoryFileMemory::removeFile(const MemoryPath& path) {
  Node* parent = parentFolder(path);
  Node* node = parent ? parent->child(path.back()) : nullptr;
  if (!node || node->folder) return false;
  std::erase_if(parent->children, [node](const auto& c) { return c.get() == node; });
  return true;
}

bool InMemoryFileMemory::rename(const MemoryPath& path, const std::string& newName) {
  Node* parent = parentFolder(path);
  Node* node = parent ? parent->child(path.back()) : nullptr;
  if (!node) return false;
  Node* existing = parent->child(newName);
  if (existing && existing != node) return false;
  node->name = newName;
  return true;
}

std::optional<std::vector<std::uint8_t>> InMemoryFileMemory::read(const MemoryPath& path) const {
  const Node* node = path.empty() ? nullptr : find(path);
  if (!node || node->folder) return std::nullopt;
  return node->data;
}

bool InMemoryFileMemory::create(const MemoryPath& path) {
  Node* parent = parentFolder(path);
  if (!parent) return false;
  if (Node* existing = parent->child(path.back())) {
    if (existing->folder || existing->readOnly) return false;
    existing->data.clear();
    return true;
  }
  auto node = std::make_unique<Node>();
  node->name = path.back();
  parent->children.push_back(std::move(node));
  return true;
}

bool InMemoryFileMemory::append(const MemoryPath& path, std::span<const std::uint8_t> bytes) {
  Node* node = path.empty() ? nullptr : find(path);
  if (!node || node->folder || node->readOnly) return false;
  node->data.insert(node->data.end(), bytes.begin(), bytes.end());
  return true;
}

bool InMemoryFileMemory::setReadOnly(const MemoryPath& path, bool readOnly) {
  Node* node = path.empty() ? nullptr : find(path);
  if (!node || node->folder) return false;
  node->readOnly = readOnly;
  return true;
}

}  // namespace quaverly::instrument
