// The PC side of the transfer jobs: the folder files are received into and the files
// that are sent, through the file system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/PlainFileName.h"

namespace quaverly {

// Free bytes for the user in the file system that holds `folder` (the current folder
// for an empty path); nothing when the query fails.
std::optional<std::uint64_t> pcFreeSpace(const std::filesystem::path& folder);

// What lies at a path on the PC.
enum class PcEntryKind { None, File, Other };
PcEntryKind pcEntryKind(const std::filesystem::path& path);

// Gives the owner write permission on an existing read-only file, keeping its other
// permission bits. Nothing happens to a missing file.
void clearReadOnly(const std::filesystem::path& path);

// A name from the instrument that can be used as a PC file name inside the chosen
// folder (the platform's rule).
using platform::isPlainFileName;

// The folder text with the separator appended, unless it is empty or already ends
// with one.
std::string withTrailingSeparator(std::string folder);

// The size of a PC file; nothing when it cannot be found.
std::optional<std::uint64_t> pcFileSize(const std::filesystem::path& path);

// Reads a whole PC file into `buffer` (resized to the file's length). False when it
// cannot be opened or read completely.
bool readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& buffer);

}  // namespace quaverly
