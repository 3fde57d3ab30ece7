// The instrument commands the folder tree sends, behind a small interface so that
// the tree can be driven by a scripted instrument in tests, and the adapter that
// sends them over the link.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/protocol/FileCommands.h"
#include "app/protocol/Link.h"

namespace quaverly {

// Each command returns the link's result: kLinkSuccess, kLinkRefused, kLinkNotSent or
// kLinkTimedOut. Paths are code page 932 bytes.
class InstrumentFileCommands {
 public:
  virtual ~InstrumentFileCommands() = default;

  // The first entry of a listing. On kLinkSuccess the entry is filled; when the
  // instrument answers with a bare acceptance it keeps its previous values.
  virtual protocol::LinkResult findFirst(std::uint8_t attributeMask, std::string_view pattern,
                                         protocol::DirectoryEntry& entry) = 0;
  // The next entry of the listing, filled as by findFirst.
  virtual protocol::LinkResult findNext(protocol::DirectoryEntry& entry) = 0;
  virtual protocol::LinkResult rename(std::string_view oldPath, std::string_view newPath) = 0;
  virtual protocol::LinkResult deleteFile(std::string_view path) = 0;
};

// The commands sent to the instrument over a connected link.
class LinkFileCommands final : public InstrumentFileCommands {
 public:
  explicit LinkFileCommands(protocol::Link& link) : link_(link) {}

  protocol::LinkResult findFirst(std::uint8_t attributeMask, std::string_view pattern,
                                 protocol::DirectoryEntry& entry) override;
  protocol::LinkResult findNext(protocol::DirectoryEntry& entry) override;
  protocol::LinkResult rename(std::string_view oldPath, std::string_view newPath) override;
  protocol::LinkResult deleteFile(std::string_view path) override;

 private:
  protocol::Link& link_;
};

}  // namespace quaverly
