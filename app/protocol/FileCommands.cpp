#include "app/protocol/FileCommands.h"

#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

namespace {

using std::chrono::milliseconds;

// A delete may take the instrument up to two minutes.
constexpr milliseconds kDeleteLimit{120000};
constexpr milliseconds kCommandLimit{2000};

LinkResult request(Link& link, PendingKind kind, const Bytes& message, milliseconds limit) {
  link.beginRequest(kind);
  if (link.send(message) != kLinkSuccess) return kLinkNotSent;
  return link.awaitReply(limit);
}

void copyEntry(const LinkState& s, DirectoryEntry& entry) {
  entry.path = s.replyName;
  entry.size = s.replyValue;
  entry.attributes = s.replyAttributes;
}

}  // namespace

LinkResult deleteFile(Link& link, std::string_view path) {
  const std::uint8_t device = link.state().deviceNumber;
  return request(link, PendingKind::DeleteFile, buildPathCommand(SysexId::DeleteFile, device, path), kDeleteLimit);
}

LinkResult renameEntry(Link& link, std::string_view oldPath, std::string_view newPath) {
  return request(link, PendingKind::Rename, buildRename(link.state().deviceNumber, oldPath, newPath), kCommandLimit);
}

LinkResult findFirst(Link& link, std::uint8_t attributeMask, std::string_view pattern, DirectoryEntry& entry) {
  const LinkResult result = request(link, PendingKind::FindFirst,
                                    buildFindFirst(link.state().deviceNumber, attributeMask, pattern), kCommandLimit);
  if (result == kLinkSuccess) copyEntry(link.state(), entry);
  return result;
}

LinkResult findNext(Link& link, DirectoryEntry& entry) {
  const LinkResult result =
      request(link, PendingKind::FindNext, buildMessage(SysexId::FindNext, link.state().deviceNumber), kCommandLimit);
  if (result == kLinkSuccess) copyEntry(link.state(), entry);
  return result;
}

LinkResult freeSpace(Link& link, std::uint32_t& freeBytes) {
  const LinkResult result = request(link, PendingKind::FreeSpace,
                                    buildMessage(SysexId::FreeSpaceRequest, link.state().deviceNumber), kCommandLimit);
  if (result == kLinkSuccess) freeBytes = link.state().replyValue;
  return result;
}

LinkResult makeFolder(Link& link, std::string_view path) {
  const std::uint8_t device = link.state().deviceNumber;
  return request(link, PendingKind::MakeFolder, buildPathCommand(SysexId::MakeFolder, device, path), kCommandLimit);
}

LinkResult deleteFolder(Link& link, std::string_view path) {
  const std::uint8_t device = link.state().deviceNumber;
  return request(link, PendingKind::DeleteFolder, buildPathCommand(SysexId::DeleteFolder, device, path), kCommandLimit);
}

}  // namespace quaverly::protocol
