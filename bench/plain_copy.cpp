// quaverly-plain-copy [--atomic] IN OUT: reads IN whole and writes it to OUT, the
// baseline for timing quaverly-cli convert. Plain: open, write, close. --atomic: the
// same writer as convert (temporary file, fsync, rename).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/jobs/AtomicFile.h"
#include "app/smf/ByteBuffer.h"

namespace {

struct Buffer {
  quaverly::ByteBuffer data;  // allocated as convert allocates its buffers
  std::size_t size = 0;
};

bool readAll(const char* path, Buffer& bytes) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return false;
  }
  bytes.size = static_cast<std::size_t>(info.st_size);
  bytes.data = quaverly::ByteBuffer::allocate(bytes.size);
  if (!bytes.data) {
    ::close(fd);
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size) {
    const ssize_t got = ::read(fd, bytes.data.data() + done, bytes.size - done);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  return done == bytes.size;
}

bool writePlain(const char* path, const Buffer& bytes) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size) {
    const ssize_t put = ::write(fd, bytes.data.data() + done, bytes.size - done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  return ::close(fd) == 0 && done == bytes.size;
}

}  // namespace

int main(int argc, char** argv) {
  const bool atomic = argc == 4 && std::string_view(argv[1]) == "--atomic";
  if (argc != 3 && !atomic) {
    std::fprintf(stderr, "usage: quaverly-plain-copy [--atomic] IN OUT\n");
    return 2;
  }
  const char* in = argv[atomic ? 2 : 1];
  const char* out = argv[atomic ? 3 : 2];
  Buffer bytes;
  if (!readAll(in, bytes)) {
    std::fprintf(stderr, "quaverly-plain-copy: cannot read %s: %s\n", in, std::strerror(errno));
    return 2;
  }
  if (atomic) {
    if (const auto error = quaverly::writeFileAtomically(out, std::span(bytes.data.data(), bytes.size))) {
      std::fprintf(stderr, "quaverly-plain-copy: cannot write %s: %s\n", out, error->text.c_str());
      return 2;
    }
  } else if (!writePlain(out, bytes)) {
    std::fprintf(stderr, "quaverly-plain-copy: cannot write %s: %s\n", out, std::strerror(errno));
    return 2;
  }
  return 0;
}
