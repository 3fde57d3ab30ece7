// Paths on the instrument as the user types them, and as the instrument wants them.
//
// The user writes UTF-8 with '/' or '\' between the parts, with or without the drive
// "0:" in front ("POPS/SONG1.MID", "0:\POPS\SONG1.MID"). On the wire a path is code
// page 932 bytes, "0:" and the parts joined by '\'.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/jobs/InstrumentFolderTree.h"

namespace quaverly::cli {

// The longest path sent, in bytes on the wire. A listing reply carries the entry's
// whole path and must fit into one receive slot of 255 bytes with its header.
inline constexpr std::size_t kMaxWirePathBytes = 200;

struct InstrumentPath {
  std::vector<std::string> parts;  // code page 932, without the drive

  bool isDrive() const { return parts.empty(); }
  // "0:\POPS\SONG1.MID" in code page 932.
  std::string wire() const;
  // The same in UTF-8, for messages.
  std::string display() const;
  // The last part (the name), or "0:" for the drive.
  const std::string& name() const;
  // The folder that holds it (the drive for a top-level entry).
  InstrumentPath parent() const;
};

struct ParsedPath {
  std::optional<InstrumentPath> path;
  std::string error;  // why not, when there is no path
};

// Reads a path typed by the user. Refused: an empty text, a drive other than "0:",
// ':' within a part, "." or "..", control characters, text that has no code page
// 932 form, and paths longer than kMaxWirePathBytes on the wire.
ParsedPath parseInstrumentPath(std::string_view utf8);

// A command's path argument, which may name the drive. Prints the reason and gives
// nothing when it is refused.
std::optional<InstrumentPath> pathArgument(std::string_view utf8, std::ostream& err);

// A command's PATH argument that names an entry, not the drive itself. Prints one
// line (the reason, or `driveRefusal`) and gives nothing when it is refused.
std::optional<InstrumentPath> entryPathArgument(std::string_view utf8, std::string_view driveRefusal,
                                                std::ostream& err);

// Lists the drive and the folders along `path`, matching each part without ASCII
// case as the instrument does, and returns the node the path names, or none when a
// part is missing (or a part before the last is a file).
FolderNode* findOnInstrument(InstrumentFolderTree& tree, const InstrumentPath& path);

// The child of `folder` whose name equals `name` without ASCII case, or none.
FolderNode* childNamed(InstrumentFolderTree& tree, FolderNode* folder, std::string_view name);

}  // namespace quaverly::cli
