// A file memory held in the process, for tests and for a throw-away instrument.
#pragma once

#include <memory>

#include "instrument/FileMemory.h"

namespace quaverly::instrument {

class InMemoryFileMemory final : public FileMemory {
 public:
  InMemoryFileMemory();
  ~InMemoryFileMemory() override;

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
  struct Node;
  Node* find(const MemoryPath& path) const;
  Node* parentFolder(const MemoryPath& path) const;

  std::unique_ptr<Node> drive_;
};

}  // namespace quaverly::instrument
