// The instrument's file commands: each sends one request and waits for its ending
// reply within the command's limit. Paths and names are code page 932 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/protocol/Link.h"

namespace quaverly::protocol {

// One entry of a directory listing, as the instrument sends it.
struct DirectoryEntry {
  std::string path;  // the entry's full path
  std::uint32_t size = 0;
  std::uint8_t attributes = 0;
};

LinkResult deleteFile(Link& link, std::string_view path);
LinkResult renameEntry(Link& link, std::string_view oldPath, std::string_view newPath);
// kLinkSuccess with an entry; kLinkRefused when there is none (more). When the
// instrument answers with a bare acceptance the entry keeps its previous values.
LinkResult findFirst(Link& link, std::uint8_t attributeMask, std::string_view pattern, DirectoryEntry& entry);
LinkResult findNext(Link& link, DirectoryEntry& entry);
LinkResult freeSpace(Link& link, std::uint32_t& freeBytes);
// Makes the folder `path`; the instrument refuses when it exists or its parent does not.
LinkResult makeFolder(Link& link, std::string_view path);
// Deletes the folder `path`; the instrument removes only an empty folder.
LinkResult deleteFolder(Link& link, std::string_view path);

}  // namespace quaverly::protocol
