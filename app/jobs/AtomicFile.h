// Replacing a file's whole contents so that readers see either the old file or the
// complete new one, never a part.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace quaverly {

struct FileError {
  int code = 0;      // the system's error number (errno; GetLastError() on Windows)
  std::string text;  // its description, e.g. "No space left on device"
};

// Writes `bytes` to a new file with a unique name in the folder of `target`, flushes it
// to the disk, and renames it over `target`. On any failure the temporary file is
// removed, `target` is left as it was, and the error is returned. A new file gets the
// usual permissions (0666 less the umask); a replaced file keeps its permission bits
// (its attributes on Windows, read-only among them).
std::optional<FileError> writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

}  // namespace quaverly
