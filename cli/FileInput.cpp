#include "cli/FileInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaverly::cli {

namespace {

FileError errorFromErrno(int code) { return FileError{code, std::generic_category().message(code)}; }

}  // namespace

std::optional<FileError> readWholeFile(const std::filesystem::path& path, std::size_t maxBytes, FileBytes& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errorFromErrno(errno);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};

  struct stat info {};
  if (::fstat(fd, &info) != 0) return errorFromErrno(errno);
  if (S_ISDIR(info.st_mode)) return errorFromErrno(EISDIR);
  if (S_ISREG(info.st_mode) && static_cast<std::uintmax_t>(info.st_size) > maxBytes) return errorFromErrno(EFBIG);

  // One byte more than the size on record, so that the end of the file is seen by a
  // read returning 0 rather than assumed. Pipes and special files report no size and
  // grow the buffer as they deliver.
  const std::size_t limit = maxBytes < SIZE_MAX ? maxBytes + 1 : SIZE_MAX;
  std::size_t capacity = S_ISREG(info.st_mode) ? static_cast<std::size_t>(info.st_size) + 1 : 65536;
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
    const ssize_t got = ::read(fd, buffer.data() + size, capacity - size);
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
