#include "instrument/FileMemory.h"

namespace quaverly::instrument {

std::uint64_t usedBytes(const FileMemory& memory) {
  std::uint64_t used = 0;
  std::vector<MemoryPath> pending{MemoryPath{}};
  while (!pending.empty()) {
    const MemoryPath folder = std::move(pending.back());
    pending.pop_back();
    const auto entries = memory.list(folder);
    if (!entries) continue;
    for (const MemoryEntry& e : *entries) {
      if (e.folder) {
        MemoryPath child = folder;
        child.push_back(e.name);
        pending.push_back(std::move(child));
      } else {
        used += clusterRounded(e.size);
      }
    }
  }
  return used;
}

}  // namespace quaverly::instrument
