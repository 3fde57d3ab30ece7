#include "cli/FileInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include <unistd.h>

#include "app/platform/OpenReadOnly.h"

namespace quaverly::cli {

namespace {

FileError errorFromErrno(int code) { return FileError{code, std::generic_category().message(code)}; }

}  // namespace

std::optional<FileError> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes, FileBytes& bytes) {
  // A folder is refused by name (the platforms disagree on whether one can be opened).
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return errorFromErrno(EISDIR);
  const int fd = platform::openReadOnly(path);
  if (fd < 0) return errorFromErrno(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  const bool regular = std::filesystem::is_regular_file(path, ec);
  const std::uintmax_t recorded = regular ? std::filesystem::file_size(path, ec) : 0;
  if (regular && !ec && recorded > maxBytes) return errorFromErrno(EFBIG);

  // One byte more than the size on record, so that the end of the file is seen by a
  // read returning 0 rather than assumed. Pipes and special files report no size and
  // grow the buffer as they deliver.
  const std::size_t limit = maxBytes < SIZE_MAX ? maxBytes + 1 : SIZE_MAX;
  std::size_t capacity = regular && !ec ? static_cast<std::size_t>(recorded) + 1 : 65536;
  if (capacity > limit) capacity = limit;
  ByteBuffer buffer = ByteBuffer::allocate(capacity);
  if (!buffer) return errorFromErrno(ENOMEM);

  std::size_t size = 0;
  for (;;) {
    if (size == capacity) {
      if (capacity >= limit) return errorFromErrno(EFBIG);
      const std::size_t grown = capacity > limit / 2 ? limit : capacity * 2;
      ByteBuffer larger = ByteBuffer::allocate(grown);
      if (!larger) return errorFromErrno(ENOMEM);
      std::copy(buffer.data(), buffer.data() + size, larger.data());
      buffer = std::move(larger);
      capacity = grown;
    }
    // At most 1 GiB a call: the platforms' read takes its count in an int or a size_t.
    const std::size_t piece = std::min<std::size_t>(capacity - size, std::size_t{1} << 30);
    const auto got = ::read(fd, buffer.data() + size, static_cast<unsigned>(piece));
    if (got < 0) {
      if (errno == EINTR) continue;
      return errorFromErrno(errno);
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  if (size > maxBytes) return errorFromErrno(EFBIG);
  bytes.buffer = std::move(buffer);
  bytes.size = size;
  return std::nullopt;
}

}  // namespace quaverly::cli
