#include "app/jobs/PcFiles.h"

#include <fstream>
#include <system_error>

namespace quaverly {

namespace fs = std::filesystem;

std::optional<std::uint64_t> pcFreeSpace(const fs::path& folder) {
  std::error_code error;
  const fs::space_info space = fs::space(folder.empty() ? fs::path(".") : folder, error);
  if (error || space.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
  return space.available;
}

PcEntryKind pcEntryKind(const fs::path& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) {
    // A dangling link still occupies the name.
    return fs::is_symlink(fs::symlink_status(path, error)) ? PcEntryKind::Other : PcEntryKind::None;
  }
  return fs::is_regular_file(status) ? PcEntryKind::File : PcEntryKind::Other;
}

void clearReadOnly(const fs::path& path) {
  std::error_code error;
  const fs::perms permissions = fs::status(path, error).permissions();
  if (error || (permissions & fs::perms::owner_write) != fs::perms::none) return;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, error);
}

std::string withTrailingSeparator(std::string folder) {
  const char preferred = static_cast<char>(fs::path::preferred_separator);  // '\\' on Windows
  if (!folder.empty() && folder.back() != '/' && folder.back() != preferred) folder += '/';
  return folder;
}

std::optional<std::uint64_t> pcFileSize(const fs::path& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

bool readWholeFile(const fs::path& path, std::vector<std::uint8_t>& buffer) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff length = in.tellg();
  if (length < 0) return false;
  in.seekg(0, std::ios::beg);
  buffer.resize(static_cast<std::size_t>(length));
  if (length > 0 && !in.read(reinterpret_cast<char*>(buffer.data()), length)) return false;
  // A file that grew while it was read is read only up to its length at the start;
  // one that shrank fails above.
  return true;
}

}  // namespace quaverly
