#include "app/jobs/InstrumentFileCommands.h"

namespace quaverly {

protocol::LinkResult LinkFileCommands::findFirst(std::uint8_t attributeMask, std::string_view pattern,
                                                 protocol::DirectoryEntry& entry) {
  return protocol::findFirst(link_, attributeMask, pattern, entry);
}

protocol::LinkResult LinkFileCommands::findNext(protocol::DirectoryEntry& entry) {
  return protocol::findNext(link_, entry);
}

protocol::LinkResult LinkFileCommands::rename(std::string_view oldPath, std::string_view newPath) {
  return protocol::renameEntry(link_, oldPath, newPath);
}

protocol::LinkResult LinkFileCommands::deleteFile(std::string_view path) { return protocol::deleteFile(link_, path); }

}  // namespace quaverly
