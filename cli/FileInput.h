// Reading a whole file into memory with an upper bound on its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

#include "app/jobs/AtomicFile.h"
#include "app/smf/ByteBuffer.h"

namespace quaverly::cli {

struct FileBytes {
  ByteBuffer buffer;
  std::size_t size = 0;

  const std::uint8_t* data() const { return buffer.data(); }
  std::span<const std::uint8_t> bytes() const { return {buffer.data(), size}; }
};

// Reads all of `path` into `bytes`. A file of more than `maxBytes` bytes is refused with
// EFBIG before most of it is read; growth while reading is noticed too.
std::optional<FileError> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes, FileBytes& bytes);

}  // namespace quaverly::cli
