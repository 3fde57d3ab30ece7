#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

namespace {

using Mask = std::array<std::uint8_t, kMaxTemplateBytes>;

// Every position is compared exactly except the device number in byte 2.
constexpr Mask kDefaultMask = {0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
// The two data bytes of the identify reply are the instrument's own.
constexpr Mask kIdentifyReplyMask = {0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00};
// The four bytes of the free-space count vary.
constexpr Mask kFreeSpaceReplyMask = {0xFF, 0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF};
// The byte count in bytes 4 and 5 varies.
constexpr Mask kBulkBlockMask = {0xFF, 0xFF, 0xF0, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00};

struct Entry {
  SysexId id;
  std::string_view name;
  SysexTemplate tmpl;
};

constexpr Entry entry(SysexId id, std::string_view name, std::initializer_list<std::uint8_t> bytes,
                      const Mask& mask = kDefaultMask) {
  Entry e{id, name, {static_cast<std::uint8_t>(bytes.size()), {}, mask}};
  std::size_t i = 0;
  for (std::uint8_t b : bytes) e.tmpl.bytes[i++] = b;
  return e;
}

// The catalogue. Templates carry device number 0; open-ended ones (not ending in F7)
// get their fields and a closing F7 appended when built.
constexpr std::array<Entry, kSysexIdCount> kCatalogue = {{
    entry(SysexId::IdentifyRequest, "IdentifyRequest", {0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x01, 0xF7}),
    entry(SysexId::IdentifyReply, "IdentifyReply", {0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0xF7},
          kIdentifyReplyMask),
    entry(SysexId::RemoteMode, "RemoteMode", {0xF0, 0x43, 0x50, 0x00, 0x00, 0x01, 0x00}),
    entry(SysexId::RemoteCheck, "RemoteCheck", {0xF0, 0x43, 0x50, 0x00, 0x00, 0x01, 0x01, 0xF7}),
    entry(SysexId::RemoteReady, "RemoteReady", {0xF0, 0x43, 0x50, 0x00, 0x00, 0x01, 0x02, 0x01, 0xF7}),
    entry(SysexId::RemoteRefused, "RemoteRefused", {0xF0, 0x43, 0x50, 0x00, 0x00, 0x01, 0x02, 0x00, 0xF7}),
    entry(SysexId::MakeFolder, "MakeFolder", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x00, 0x00}),
    entry(SysexId::DeleteFile, "DeleteFile", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x01, 0x00}),
    entry(SysexId::Rename, "Rename", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x02, 0x00}),
    entry(SysexId::DeleteFolder, "DeleteFolder", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x03, 0x00}),
    entry(SysexId::FindFirst, "FindFirst", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x04, 0x00}),
    entry(SysexId::FindFirstReply, "FindFirstReply", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x04, 0x01}),
    entry(SysexId::FindNext, "FindNext", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x05, 0x00, 0xF7}),
    entry(SysexId::FindNextReply, "FindNextReply", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x05, 0x01}),
    entry(SysexId::FreeSpaceRequest, "FreeSpaceRequest", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x00, 0x00, 0xF7}),
    entry(SysexId::FreeSpaceReply, "FreeSpaceReply",
          {0xF0, 0x43, 0x50, 0x00, 0x01, 0x06, 0x01, 0x00, 0x00, 0x00, 0x00, 0xF7}, kFreeSpaceReplyMask),
    entry(SysexId::CommandAccepted, "CommandAccepted", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x7F, 0x01, 0x00, 0xF7}),
    entry(SysexId::CommandRefused, "CommandRefused", {0xF0, 0x43, 0x50, 0x00, 0x01, 0x7F, 0x01, 0x01, 0xF7}),
    entry(SysexId::FileRequest, "FileRequest", {0xF0, 0x43, 0x50, 0x00, 0x02, 0x00, 0x01}),
    entry(SysexId::FileHeader, "FileHeader", {0xF0, 0x43, 0x50, 0x00, 0x02, 0x01, 0x00}),
    entry(SysexId::BulkBlock, "BulkBlock", {0xF0, 0x43, 0x50, 0x01, 0x00, 0x00, 0x02, 0x02}, kBulkBlockMask),
    entry(SysexId::Ready, "Ready", {0xF0, 0x43, 0x50, 0x00, 0x03, 0x00, 0xF7}),
    entry(SysexId::Wait, "Wait", {0xF0, 0x43, 0x50, 0x00, 0x03, 0x01, 0xF7}),
    entry(SysexId::EndOfData, "EndOfData", {0xF0, 0x43, 0x50, 0x00, 0x03, 0x02, 0xF7}),
    entry(SysexId::Finished, "Finished", {0xF0, 0x43, 0x50, 0x00, 0x03, 0x03, 0xF7}),
    entry(SysexId::Cancel, "Cancel", {0xF0, 0x43, 0x50, 0x00, 0x03, 0x04, 0xF7}),
    entry(SysexId::Error, "Error", {0xF0, 0x43, 0x50, 0x00, 0x03, 0x05, 0xF7}),
}};

constexpr bool catalogueIsInIdOrder() {
  for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
    if (static_cast<std::size_t>(kCatalogue[i].id) != i) return false;
  }
  return true;
}
static_assert(catalogueIsInIdOrder(), "the catalogue is indexed by SysexId");

bool isOpenEnded(const SysexTemplate& t) { return t.bytes[t.length - 1] != kSysexEnd; }

// Offsets of the fields after the seven command bytes F0 43 5n 00 gg cc dd.
constexpr std::size_t kFieldsAt = 7;

std::uint32_t number28At(std::span<const std::uint8_t> message, std::size_t pos) {
  return decode28(std::span<const std::uint8_t, 4>(message.subspan(pos, 4)));
}

// The NUL-terminated text that starts at `pos`, before the closing F7; `next` gets
// the position after its NUL.
std::optional<std::string> textAt(std::span<const std::uint8_t> message, std::size_t pos, std::size_t& next) {
  if (message.size() < 2) return std::nullopt;
  const std::size_t end = message.size() - 1;  // the F7
  for (std::size_t i = pos; i < end; ++i) {
    if (message[i] == 0x00) {
      next = i + 1;
      return std::string(message.begin() + static_cast<std::ptrdiff_t>(pos),
                         message.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return std::nullopt;
}

// Exactly one NUL-terminated text from `pos` up to the closing F7.
std::optional<std::string> soleTextAt(std::span<const std::uint8_t> message, std::size_t pos) {
  std::size_t next = 0;
  auto text = textAt(message, pos, next);
  if (!text || next != message.size() - 1) return std::nullopt;
  return text;
}

void appendText(Bytes& message, std::string_view text) {
  message.insert(message.end(), text.begin(), text.end());
  message.push_back(0x00);
}

// The template with the device number filled in, without the closing F7 of an
// open-ended template.
Bytes startMessage(SysexId id, std::uint8_t deviceNumber) {
  const SysexTemplate& t = sysexTemplate(id);
  Bytes message(t.bytes.begin(), t.bytes.begin() + t.length);
  message[2] = static_cast<std::uint8_t>(message[2] + (deviceNumber & 0x0F));
  return message;
}

}  // namespace

const SysexTemplate& sysexTemplate(SysexId id) { return kCatalogue[static_cast<std::size_t>(id)].tmpl; }

std::string_view sysexName(SysexId id) { return kCatalogue[static_cast<std::size_t>(id)].name; }

std::array<std::uint8_t, 4> encode28(std::uint32_t value) {
  return {static_cast<std::uint8_t>((value >> 21) & 0x7F), static_cast<std::uint8_t>((value >> 14) & 0x7F),
          static_cast<std::uint8_t>((value >> 7) & 0x7F), static_cast<std::uint8_t>(value & 0x7F)};
}

std::uint32_t decode28(std::span<const std::uint8_t, 4> bytes) {
  std::uint32_t value = 0;
  for (std::uint8_t b : bytes) value = value * 128 + (b & 0x7F);
  return value;
}

Bytes buildMessage(SysexId id, std::uint8_t deviceNumber, std::span<const std::uint8_t> fields) {
  Bytes message = startMessage(id, deviceNumber);
  if (isOpenEnded(sysexTemplate(id))) {
    message.insert(message.end(), fields.begin(), fields.end());
    message.push_back(kSysexEnd);
  }
  return message;
}

Bytes buildRemoteMode(std::uint8_t deviceNumber, bool enter) {
  const std::uint8_t v = enter ? 0x01 : 0x00;
  return buildMessage(SysexId::RemoteMode, deviceNumber, std::span(&v, 1));
}

Bytes buildPathCommand(SysexId id, std::uint8_t deviceNumber, std::string_view path) {
  Bytes message = startMessage(id, deviceNumber);
  appendText(message, path);
  message.push_back(kSysexEnd);
  return message;
}

Bytes buildRename(std::uint8_t deviceNumber, std::string_view oldPath, std::string_view newPath) {
  Bytes message = startMessage(SysexId::Rename, deviceNumber);
  appendText(message, oldPath);
  appendText(message, newPath);
  message.push_back(kSysexEnd);
  return message;
}

Bytes buildFindFirst(std::uint8_t deviceNumber, std::uint8_t attributeMask, std::string_view pattern) {
  Bytes message = startMessage(SysexId::FindFirst, deviceNumber);
  message.push_back(attributeMask);
  appendText(message, pattern);
  message.push_back(kSysexEnd);
  return message;
}

Bytes buildFileHeader(std::uint8_t deviceNumber, std::uint32_t size, std::string_view path) {
  Bytes message = startMessage(SysexId::FileHeader, deviceNumber);
  const auto s = encode28(size);
  message.insert(message.end(), s.begin(), s.end());
  appendText(message, path);
  message.push_back(kSysexEnd);
  return message;
}

Bytes buildIdentifyReply(std::uint8_t deviceNumber, std::uint8_t a, std::uint8_t b) {
  Bytes message = startMessage(SysexId::IdentifyReply, deviceNumber);
  message[7] = a & 0x7F;
  message[8] = b & 0x7F;
  return message;
}

Bytes buildFindReply(SysexId id, std::uint8_t deviceNumber, std::uint8_t attributes, std::uint32_t size,
                     std::string_view path) {
  Bytes message = startMessage(id, deviceNumber);
  message.push_back(attributes & 0x7F);
  const auto s = encode28(size);
  message.insert(message.end(), s.begin(), s.end());
  message.insert(message.end(), path.begin(), path.end());
  message.push_back(kSysexEnd);
  return message;
}

Bytes buildFreeSpaceReply(std::uint8_t deviceNumber, std::uint32_t freeBytes) {
  Bytes message = startMessage(SysexId::FreeSpaceReply, deviceNumber);
  const auto f = encode28(freeBytes);
  std::copy(f.begin(), f.end(), message.begin() + 7);
  return message;
}

bool matches(SysexId id, std::span<const std::uint8_t> received) {
  const SysexTemplate& t = sysexTemplate(id);
  if (received.size() < t.length) return false;
  for (std::size_t i = 0; i < t.length; ++i) {
    if (t.mask[i] != 0 && (received[i] & t.mask[i]) != t.bytes[i]) return false;
  }
  return true;
}

std::optional<std::string> parsePathCommand(std::span<const std::uint8_t> message) {
  return soleTextAt(message, kFieldsAt);
}

std::optional<RenameFields> parseRename(std::span<const std::uint8_t> message) {
  std::size_t next = 0;
  auto oldPath = textAt(message, kFieldsAt, next);
  if (!oldPath) return std::nullopt;
  auto newPath = soleTextAt(message, next);
  if (!newPath) return std::nullopt;
  return RenameFields{std::move(*oldPath), std::move(*newPath)};
}

std::optional<FindFirstFields> parseFindFirst(std::span<const std::uint8_t> message) {
  if (message.size() <= kFieldsAt + 1) return std::nullopt;
  auto pattern = soleTextAt(message, kFieldsAt + 1);
  if (!pattern) return std::nullopt;
  return FindFirstFields{message[kFieldsAt], std::move(*pattern)};
}

std::optional<FileHeaderFields> parseFileHeader(std::span<const std::uint8_t> message) {
  if (message.size() < kFieldsAt + 6) return std::nullopt;
  auto path = soleTextAt(message, kFieldsAt + 4);
  if (!path) return std::nullopt;
  return FileHeaderFields{number28At(message, kFieldsAt), std::move(*path)};
}

std::optional<FindReplyFields> parseFindReply(std::span<const std::uint8_t> message) {
  // attribute, 28-bit size, then the path up to the closing F7
  if (message.size() < kFieldsAt + 6) return std::nullopt;
  std::string path(message.begin() + kFieldsAt + 5, message.end() - 1);
  path.resize(std::char_traits<char>::length(path.c_str()));  // a text ends at its NUL
  return FindReplyFields{message[kFieldsAt], number28At(message, kFieldsAt + 1), std::move(path)};
}

std::optional<std::uint32_t> parseFreeSpaceReply(std::span<const std::uint8_t> message) {
  if (message.size() < kFieldsAt + 5) return std::nullopt;
  return number28At(message, kFieldsAt);
}

std::optional<IdentifyReplyFields> parseIdentifyReply(std::span<const std::uint8_t> message) {
  if (message.size() < 10) return std::nullopt;
  return IdentifyReplyFields{static_cast<std::uint8_t>(message[2] & 0x0F), message[7], message[8]};
}

std::optional<std::uint32_t> parseFileHeaderReply(std::span<const std::uint8_t> message) {
  if (message.size() < kFieldsAt + 5) return std::nullopt;
  return number28At(message, kFieldsAt);
}

}  // namespace quaverly::protocol
