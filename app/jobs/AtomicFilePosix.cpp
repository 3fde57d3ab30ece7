#include "app/jobs/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quaverly {

namespace {

FileError errorFromErrno(int code) { return FileError{code, std::generic_category().message(code)}; }

// Closes a descriptor on every way out, unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result, which for a written file can carry a late
  // write error.
  int close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd);
  }

 private:
  int fd_;
};

// A name that no other writer in this or another process picks at the same moment:
// the process id, a per-process counter and the clock. O_EXCL settles any collision.
std::string temporaryName(const std::string& targetName) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return "." + targetName + "." + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
         std::to_string(static_cast<unsigned long long>(now) & 0xFFFFFF) + ".tmp";
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes, int& error) {
  const std::uint8_t* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    // Linux moves at most about 2 GiB per call; smaller pieces keep every call sane.
    const std::size_t piece = left < (std::size_t{1} << 30) ? left : (std::size_t{1} << 30);
    const ssize_t written = ::write(fd, p, piece);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (written == 0) {  // no progress and no error: treat as a full disk
      error = ENOSPC;
      return false;
    }
    p += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::optional<FileError> writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes) {
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return errorFromErrno(EISDIR);
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");

  // A replaced file keeps its permission bits; a new one gets 0666 less the umask.
  mode_t mode = 0666;
  struct stat existing {};
  const bool replacing = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  if (replacing) mode = existing.st_mode & 07777;

  std::filesystem::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = folder / temporaryName(name);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, replacing ? 0600 : mode);
    if (fd < 0 && errno != EEXIST && errno != EINTR) return errorFromErrno(errno);
  }
  if (fd < 0) return errorFromErrno(EEXIST);
  Descriptor file(fd);

  auto failAndRemove = [&temporary](int code) {
    ::unlink(temporary.c_str());
    return std::optional<FileError>(errorFromErrno(code));
  };

  int error = 0;
  if (!writeAll(file.get(), bytes, error)) return failAndRemove(error);
  if (replacing && ::fchmod(file.get(), mode) != 0) return failAndRemove(errno);
  if (::fsync(file.get()) != 0) return failAndRemove(errno);
  if (file.close() != 0) return failAndRemove(errno);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return failAndRemove(errno);

  // Make the rename itself durable. The new file is in place whatever this returns,
  // and some file systems cannot sync a folder, so a failure here is not reported.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  return std::nullopt;
}

}  // namespace quaverly
