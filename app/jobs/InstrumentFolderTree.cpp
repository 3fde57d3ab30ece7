#include "app/jobs/InstrumentFolderTree.h"

#include <array>
#include <vector>

#include "app/protocol/wire/ShiftJisText.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly {

namespace {

using protocol::DirectoryEntry;
using protocol::kLinkSuccess;

constexpr std::uint32_t kKindMask = 0xFFFFu;
constexpr std::uint32_t kAttributeMask = 0xFFFF0000u;
constexpr std::uint32_t kSizeMask = 0x7FFFFFFFu;

bool isContainerKind(std::uint32_t kind) { return kind < InstrumentFolderTree::kFile; }

// The components of a path; a trailing backslash adds no component of its own, so
// "0:\POPS\" names the same node as "0:\POPS".
std::vector<std::string_view> pathComponents(std::string_view path) {
  std::vector<std::string_view> parts = protocol::splitInstrumentPath(path);
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return parts;
}

// The entry's own name: the text after the last separator of the path the
// instrument sent (a Shift JIS trail byte equal to a backslash is not one).
std::string_view entryName(std::string_view path) {
  const std::size_t separator = protocol::lastSeparator(path);
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

bool sameEntry(const DirectoryEntry& a, const DirectoryEntry& b) {
  return a.path == b.path && a.size == b.size && a.attributes == b.attributes;
}

// An instrument that answers a find with a bare acceptance repeats the previous
// entry. One such repeat is taken like any entry; a second one in a row means the
// instrument only acknowledges and would go on doing so, so the listing ends there
// instead of never.
constexpr int kMaxRepeatedEntries = 1;

}  // namespace

InstrumentFolderTree::InstrumentFolderTree(InstrumentFileCommands& commands, WaitCursor* waitCursor)
    : commands_(commands), waitCursor_(waitCursor) {
  insertChild(kDriveName, nullptr, kDriveUnlisted, kAppend);
}

FolderNode* InstrumentFolderTree::drive() const {
  // Looked up rather than remembered: the general tree's removeNode may have taken
  // the drive away, and a remembered pointer would then dangle.
  const FolderNode* top = rootContainer();
  for (std::size_t i = 0; i < top->childCount(); ++i) {
    FolderNode* node = top->childAt(i);
    if (nameOf(node) == kDriveName && kindOf(node) <= kDriveListed) return node;
  }
  return nullptr;
}

std::uint32_t InstrumentFolderTree::sizeOf(const FolderNode* node) const {
  if (!node || kindOf(node) != kFile || node->extraWords().empty()) return kNoSize;
  return node->extraWords()[0] & kSizeMask;
}

std::string InstrumentFolderTree::pathOf(const FolderNode* node) const {
  std::vector<std::string_view> names;
  for (const FolderNode* n = node ? node : drive(); n; n = parentOf(n)) names.emplace_back(nameOf(n));
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += *it;
  }
  return path;
}

FolderNode* InstrumentFolderTree::findByPath(std::string_view path) const {
  if (path.empty()) return nullptr;
  const FolderNode* container = rootContainer();
  FolderNode* found = nullptr;
  for (const std::string_view component : pathComponents(path)) {
    found = nullptr;
    for (std::size_t i = 0; i < container->childCount(); ++i) {
      FolderNode* child = container->childAt(i);
      if (protocol::equalsIgnoringAsciiCase(nameOf(child), component)) {
        found = child;
        break;
      }
    }
    if (!found) return nullptr;
    container = found;
  }
  return found;
}

FolderNode* InstrumentFolderTree::insertSorted(std::string_view name, FolderNode* parent, std::uint8_t attributes,
                                               std::uint32_t size) {
  const bool isFolder = (attributes & protocol::kAttributeFolder) != 0;
  const FolderNode* container = parent ? parent : rootContainer();
  std::size_t position = container->childCount();
  for (std::size_t i = 0; i < container->childCount(); ++i) {
    const FolderNode* child = container->childAt(i);
    const bool childIsFolder = isContainerKind(kindOf(child));
    if (isFolder && !childIsFolder) {
      position = i;
      break;
    }
    if (isFolder == childIsFolder && protocol::compareIgnoringAsciiCase(name, nameOf(child)) < 0) {
      position = i;
      break;
    }
  }
  const std::uint32_t data = (static_cast<std::uint32_t>(attributes) << 16) | (isFolder ? kFolderUnlisted : kFile);
  if (isFolder) return insertChildWithExtra(name, parent, data, position, {});
  const std::array<std::uint32_t, 1> extra{size};
  return insertChildWithExtra(name, parent, data, position, extra);
}

void InstrumentFolderTree::listFolder(FolderNode* node) {
  FolderNode* folder = node ? node : drive();
  if (!folder) return;
  const std::uint32_t kind = kindOf(folder);
  if (kind != kDriveUnlisted && kind != kFolderUnlisted) return;
  const WaitCursorScope busy(waitCursor_);

  DirectoryEntry entry;
  DirectoryEntry previous;
  int repeats = 0;
  bool first = true;
  // Every non-zero result ends the listing alike: the end of the list, a refusal, a
  // time-out or a failed send.
  for (auto result = commands_.findFirst(kListingMask, pathOf(folder) + "\\*", entry); result == kLinkSuccess;
       result = commands_.findNext(entry)) {
    if (!first && sameEntry(entry, previous)) {
      if (++repeats > kMaxRepeatedEntries) break;
    } else {
      repeats = 0;
    }
    first = false;
    previous = entry;
    const std::string_view name = entryName(entry.path);
    // An entry without a name (a bare acceptance of the first find carries none)
    // names no file; "." and ".." are the folder itself and its parent.
    if (name.empty() || name == "." || name == "..") continue;
    insertSorted(name, folder, entry.attributes, entry.size);
  }

  // Listed, even when the listing failed: it is not asked again until the tree is
  // rebuilt.
  if (kind == kDriveUnlisted) {
    setData(folder, kDriveListed);
  } else {
    setData(folder, (dataOf(folder) & kAttributeMask) | kFolderListed);
  }
}

FolderNode* InstrumentFolderTree::openPath(std::string_view path) {
  const WaitCursorScope busy(waitCursor_);
  FolderNode* driveNode = drive();
  if (!driveNode) driveNode = insertChild(kDriveName, nullptr, kDriveUnlisted, kAppend);
  if (!driveNode) return nullptr;
  clearChildren(driveNode);
  setData(driveNode, kDriveUnlisted);
  listFolder(driveNode);

  // Each component is looked for among the current node and the siblings after it;
  // the first component starts at the drive.
  FolderNode* current = driveNode;
  for (const std::string_view component : pathComponents(path)) {
    FolderNode* found = nullptr;
    for (FolderNode* candidate = current; candidate; candidate = nextSibling(candidate)) {
      if (isContainerKind(kindOf(candidate)) && std::string_view(nameOf(candidate)) == component) {
        found = candidate;
        break;
      }
    }
    if (!found) return nullptr;
    listFolder(found);
    current = firstChild(found);
  }
  return findByPath(path);
}

bool InstrumentFolderTree::renameEntry(FolderNode* node, std::string_view newName) {
  // The drive's name is not the instrument's to change, and a renamed drive node
  // would no longer be the root of every path.
  if (!node || isDrive(node)) return false;
  const std::string oldPath = pathOf(node);
  const std::size_t separator = protocol::lastSeparator(oldPath);
  std::string newPath = separator == std::string::npos ? std::string() : oldPath.substr(0, separator + 1);
  newPath += newName;
  if (commands_.rename(oldPath, newPath) != kLinkSuccess) return false;
  return renameNode(node, newName);
}

bool InstrumentFolderTree::deleteEntry(FolderNode* node) {
  // Deleting "the drive" would, once accepted, take every node of the tree with it,
  // the drive included.
  if (!node || isDrive(node)) return false;
  if (commands_.deleteFile(pathOf(node)) != kLinkSuccess) return false;
  removeNode(node);
  return true;
}

}  // namespace quaverly
