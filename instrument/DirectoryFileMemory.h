// A file memory kept in a directory on disk: folders are folders, files are files,
// and a file without write permission is read-only. Stored names are code page 932;
// on disk they are UTF-8. Entries whose names do not convert, links and special files
// are not part of the memory. Storage order is the order of last modification.
#pragma once

#include <filesystem>

#include "instrument/FileMemory.h"

namespace quaverly::instrument {

class DirectoryFileMemory final : public FileMemory {
 public:
  explicit DirectoryFileMemory(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }

  std::optional<std::vector<MemoryEntry>> list(const MemoryPath& folder) const override;
  bool makeFolder(const MemoryPath& path) override;
  bool removeFolder(const MemoryPath& path) override;
  bool removeFile(const MemoryPath& path) override;
  bool rename(const MemoryPath& path, const std::string& newName) override;
  std::optional<std::vector<std::uint8_t>> read(const MemoryPath& path) const override;
  bool create(const MemoryPath& path) override;
  bool append(const MemoryPath& path, std::span<const std::uint8_t> bytes) override;
  bool setReadOnly(const MemoryPath& path, bool readOnly) override;

 private:
  // The file system path of a memory path; nothing for a name that could leave the
  // root (a separator, "." or "..") or does not convert.
  std::optional<std::filesystem::path> locate(const MemoryPath& path) const;

  std::filesystem::path root_;
};

// The default home of the virtual instrument's memory:
// $XDG_DATA_HOME/quaverly/instrument, else ~/.local/share/quaverly/instrument.
std::filesystem::path defaultInstrumentDirectory();

}  // namespace quaverly::instrument
