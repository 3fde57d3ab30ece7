// The folder tree that mirrors the instrument's file memory: one top-level node, the
// drive "0:", with the folders and files below it as the instrument lists them.
//
// Each node's data word holds its kind in the low 16 bits and the attribute byte the
// instrument reported for it in bits 16 to 23; a file node keeps its size as its one
// extra word. The operations that change the instrument's memory send the command
// first and change the tree only when the instrument has accepted it.
//
// Used on the user-interface thread only; the instrument commands wait for their
// replies on that thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/jobs/FolderTree.h"
#include "app/jobs/InstrumentFileCommands.h"

namespace quaverly {

// The hourglass the user sees while the tree waits for the instrument. Calls nest:
// every show() is followed by exactly one restore().
class WaitCursor {
 public:
  virtual void show() = 0;
  virtual void restore() = 0;

 protected:
  ~WaitCursor() = default;
};

// Shows the wait cursor (none: nothing) for as long as it lives.
class WaitCursorScope {
 public:
  explicit WaitCursorScope(WaitCursor* cursor) : cursor_(cursor) {
    if (cursor_) cursor_->show();
  }
  ~WaitCursorScope() {
    if (cursor_) cursor_->restore();
  }
  WaitCursorScope(const WaitCursorScope&) = delete;
  WaitCursorScope& operator=(const WaitCursorScope&) = delete;

 private:
  WaitCursor* cursor_;
};

class InstrumentFolderTree : public FolderTree {
 public:
  // Node kinds, the low 16 bits of a node's data.
  static constexpr std::uint32_t kDriveUnlisted = 0;
  static constexpr std::uint32_t kDriveListed = 1;
  static constexpr std::uint32_t kFolderUnlisted = 2;
  static constexpr std::uint32_t kFolderListed = 3;
  static constexpr std::uint32_t kFile = 4;

  static constexpr std::string_view kDriveName = "0:";
  // sizeOf for every node that is not a file.
  static constexpr std::uint32_t kNoSize = 0xFFFFFFFFu;
  // Folders and ordinary files: the attribute mask of every listing.
  static constexpr std::uint8_t kListingMask = 0x30;

  // The tree starts with the unlisted drive. `commands` must outlive the tree; the
  // wait cursor may be none (nothing is shown then).
  explicit InstrumentFolderTree(InstrumentFileCommands& commands, WaitCursor* waitCursor = nullptr);

  void setWaitCursor(WaitCursor* waitCursor) { waitCursor_ = waitCursor; }

  // The drive node, or none if someone removed it through the general tree.
  FolderNode* drive() const;

  std::uint32_t kindOf(const FolderNode* node) const { return dataOf(node) & 0xFFFFu; }
  bool isReadOnly(const FolderNode* node) const { return ((dataOf(node) >> 16) & 1u) != 0; }
  // A file's size (never with bit 31), or kNoSize for any other node and for none.
  std::uint32_t sizeOf(const FolderNode* node) const;
  // The node's instrument path from the drive down, such as 0:\POPS\SONG1.MID; none
  // gives the drive's path "0:".
  std::string pathOf(const FolderNode* node) const;
  // The node the path names, each component compared without ASCII case. A trailing
  // backslash ends the search at the last named node; a missing component or an
  // empty path gives none.
  FolderNode* findByPath(std::string_view path) const;
  // Adds a folder (attribute bit 0x10) or a file under `parent` (none = the top
  // level): folders before files, each group in ascending order of names compared
  // without ASCII case, an equal name after the existing one. Returns the new node,
  // or none when memory runs out.
  FolderNode* insertSorted(std::string_view name, FolderNode* parent, std::uint8_t attributes, std::uint32_t size);

  // Lists an unlisted drive or folder (none = the drive) from the instrument and
  // marks it listed, however the listing ended; anything else is left alone. A
  // listing cut short by a refusal or a time-out keeps the entries received so far.
  void listFolder(FolderNode* node);
  // Rebuilds the tree from the instrument along `path`: empties and lists the drive,
  // then lists each folder the path names (components matched exactly, byte for
  // byte). Returns the node of the whole path, or none when a component was not found.
  FolderNode* openPath(std::string_view path);
  // Renames the entry on the instrument; on acceptance the node takes the new name
  // where it stands (the order is not restored). False, and the tree unchanged, when
  // the instrument did not accept it, and for none and the drive (nothing is sent).
  bool renameEntry(FolderNode* node, std::string_view newName);
  // Deletes the file on the instrument; on acceptance the node is removed. False,
  // and the tree unchanged, when the instrument did not accept it, and for none and
  // the drive (nothing is sent).
  bool deleteEntry(FolderNode* node);

 private:
  // True for the drive node itself (not for none).
  bool isDrive(const FolderNode* node) const { return node && node == drive(); }

  InstrumentFileCommands& commands_;
  WaitCursor* waitCursor_ = nullptr;
};

}  // namespace quaverly
