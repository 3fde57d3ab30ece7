// The instrument's file memory: drive "0:" holding nested folders and files. Names
// are the exact stored byte strings (code page 932); the instrument resolves the
// PC's case-blind paths to stored names before it calls a backend.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quaverly::instrument {

// Stored names from the drive down; an empty path is the drive itself.
using MemoryPath = std::vector<std::string>;

struct MemoryEntry {
  std::string name;
  bool folder = false;
  bool readOnly = false;
  std::uint32_t size = 0;
};

class FileMemory {
 public:
  virtual ~FileMemory() = default;

  // The folder's entries in storage order; nothing when it is not a folder.
  virtual std::optional<std::vector<MemoryEntry>> list(const MemoryPath& folder) const = 0;
  virtual bool makeFolder(const MemoryPath& path) = 0;
  // Only an empty folder is removed.
  virtual bool removeFolder(const MemoryPath& path) = 0;
  virtual bool removeFile(const MemoryPath& path) = 0;
  // Renames within the same folder, keeping the attributes.
  virtual bool rename(const MemoryPath& path, const std::string& newName) = 0;
  virtual std::optional<std::vector<std::uint8_t>> read(const MemoryPath& path) const = 0;
  // Creates an empty file, replacing a writable one of that name.
  virtual bool create(const MemoryPath& path) = 0;
  virtual bool append(const MemoryPath& path, std::span<const std::uint8_t> bytes) = 0;
  virtual bool setReadOnly(const MemoryPath& path, bool readOnly) = 0;
};

// Bytes that the files occupy, each rounded up to whole 1 KiB clusters.
std::uint64_t usedBytes(const FileMemory& memory);
inline constexpr std::uint32_t kClusterBytes = 1024;
constexpr std::uint64_t clusterRounded(std::uint64_t size) {
  return (size + kClusterBytes - 1) / kClusterBytes * kClusterBytes;
}

}  // namespace quaverly::instrument
