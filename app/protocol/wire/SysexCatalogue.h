// The catalogue of every System Exclusive message exchanged with the instrument:
// one constant table of byte templates, builders that fill in the device number and
// the variable fields, and the matcher that recognises replies by pattern and mask.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quaverly::protocol {

using Bytes = std::vector<std::uint8_t>;

enum class SysexId : std::uint8_t {
  // Connection
  IdentifyRequest,
  IdentifyReply,
  RemoteMode,
  RemoteCheck,
  RemoteReady,
  RemoteRefused,
  // File commands
  MakeFolder,
  DeleteFile,
  Rename,
  DeleteFolder,
  FindFirst,
  FindFirstReply,
  FindNext,
  FindNextReply,
  FreeSpaceRequest,
  FreeSpaceReply,
  CommandAccepted,
  CommandRefused,
  // File transfer
  FileRequest,
  FileHeader,  // sent by the PC before a file, and the instrument's answer to FileRequest
  BulkBlock,
  // Handshakes
  Ready,
  Wait,
  EndOfData,
  Finished,
  Cancel,
  Error,
};

inline constexpr std::size_t kSysexIdCount = static_cast<std::size_t>(SysexId::Error) + 1;

inline constexpr std::uint8_t kSysexStart = 0xF0;
inline constexpr std::uint8_t kSysexEnd = 0xF7;
inline constexpr std::uint8_t kManufacturerId = 0x43;  // byte 1 of every message: the protocol's manufacturer id
inline constexpr std::uint8_t kDeviceBase = 0x50;      // byte 2 is 0x50 + device number

// Attribute bits of a directory entry.
inline constexpr std::uint8_t kAttributeReadOnly = 0x01;
inline constexpr std::uint8_t kAttributeFolder = 0x10;
// Attribute mask the PC sends with FindFirst: folders and ordinary files.
inline constexpr std::uint8_t kFindMaskFoldersAndFiles = 0x30;

inline constexpr std::size_t kMaxTemplateBytes = 12;

// One entry of the table: N template bytes (device number 0), and the mask used when
// the entry serves as a reply pattern. A template that does not end in F7 is
// open-ended: its variable fields and a closing F7 follow when it is built.
struct SysexTemplate {
  std::uint8_t length;
  std::array<std::uint8_t, kMaxTemplateBytes> bytes;
  std::array<std::uint8_t, kMaxTemplateBytes> mask;
};

const SysexTemplate& sysexTemplate(SysexId id);
std::string_view sysexName(SysexId id);

// 28-bit numbers travel as four 7-bit bytes, most significant first. Bits above 27
// are dropped when encoding.
std::array<std::uint8_t, 4> encode28(std::uint32_t value);
std::uint32_t decode28(std::span<const std::uint8_t, 4> bytes);

// Copies the template, adds the device number (0..15) to byte 2 and, for an
// open-ended template, appends `fields` and F7. Fields given to a closed template
// are ignored.
Bytes buildMessage(SysexId id, std::uint8_t deviceNumber, std::span<const std::uint8_t> fields = {});

// Typed builders for the messages with fields. Texts are code page 932 byte strings;
// each travels with its terminating NUL.
Bytes buildRemoteMode(std::uint8_t deviceNumber, bool enter);
Bytes buildPathCommand(SysexId id, std::uint8_t deviceNumber,
                       std::string_view path);  // MakeFolder, DeleteFile, DeleteFolder, FileRequest
Bytes buildRename(std::uint8_t deviceNumber, std::string_view oldPath, std::string_view newPath);
Bytes buildFindFirst(std::uint8_t deviceNumber, std::uint8_t attributeMask, std::string_view pattern);
Bytes buildFileHeader(std::uint8_t deviceNumber, std::uint32_t size, std::string_view path);

// The instrument's side: replies with fields.
Bytes buildIdentifyReply(std::uint8_t deviceNumber, std::uint8_t a, std::uint8_t b);
Bytes buildFindReply(SysexId id, std::uint8_t deviceNumber, std::uint8_t attributes, std::uint32_t size,
                     std::string_view path);  // FindFirstReply or FindNextReply
Bytes buildFreeSpaceReply(std::uint8_t deviceNumber, std::uint32_t freeBytes);

// Readers of the messages with fields, beside their builders. Each takes a whole
// message that matched its pattern and gives its fields, or nothing when the
// message is too short to hold them or its texts are not terminated as they must be.

// The PC's requests, as the instrument reads them: one NUL-terminated path after the
// command bytes (MakeFolder, DeleteFile, DeleteFolder, FileRequest).
std::optional<std::string> parsePathCommand(std::span<const std::uint8_t> message);
struct RenameFields {
  std::string oldPath;
  std::string newPath;
};
std::optional<RenameFields> parseRename(std::span<const std::uint8_t> message);
struct FindFirstFields {
  std::uint8_t attributeMask = 0;
  std::string pattern;
};
std::optional<FindFirstFields> parseFindFirst(std::span<const std::uint8_t> message);
struct FileHeaderFields {
  std::uint32_t size = 0;
  std::string path;
};
// The FileHeader the PC sends: the size and exactly one path after it.
std::optional<FileHeaderFields> parseFileHeader(std::span<const std::uint8_t> message);

// The instrument's replies, as the PC reads them.
struct FindReplyFields {
  std::uint8_t attributes = 0;
  std::uint32_t size = 0;
  std::string path;  // up to the closing F7, or to a NUL before it
};
std::optional<FindReplyFields> parseFindReply(
    std::span<const std::uint8_t> message);  // FindFirstReply or FindNextReply
std::optional<std::uint32_t> parseFreeSpaceReply(std::span<const std::uint8_t> message);

// The fields of a message that matches IdentifyReply: the device number it came from
// and its two data bytes.
struct IdentifyReplyFields {
  std::uint8_t deviceNumber = 0;
  std::uint8_t a = 0;
  std::uint8_t b = 0;
};
std::optional<IdentifyReplyFields> parseIdentifyReply(std::span<const std::uint8_t> message);
// The FileHeader that answers FileRequest: the size; anything after it is ignored.
std::optional<std::uint32_t> parseFileHeaderReply(std::span<const std::uint8_t> message);

// True when `received` is at least as long as the pattern and every masked position
// agrees. Bytes after the pattern are not compared; by default the device number
// in byte 2 is ignored, so a reply from any device matches.
bool matches(SysexId id, std::span<const std::uint8_t> received);

}  // namespace quaverly::protocol
