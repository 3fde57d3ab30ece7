#include "instrument/DirectoryFileMemory.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "app/platform/PlainFileName.h"
#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly::instrument {

namespace fs = std::filesystem;

namespace {

// The largest size a directory entry can report on the wire (28 bits).
constexpr std::uintmax_t kMaxFileSize = 0x0FFFFFFF;

bool isWritable(const fs::path& p) {
  std::error_code ec;
  const fs::perms perms = fs::status(p, ec).permissions();
  return !ec && (perms & fs::perms::owner_write) != fs::perms::none;
}

}  // namespace

DirectoryFileMemory::DirectoryFileMemory(fs::path root) : root_(std::move(root)) {}

std::optional<fs::path> DirectoryFileMemory::locate(const MemoryPath& path) const {
  fs::path p = root_;
  for (const std::string& part : path) {
    const auto utf8 = protocol::shiftJisToUtf8(part);
    if (!utf8 || !platform::isPlainFileName(*utf8)) return std::nullopt;
    p /= platform::pathFromUtf8(*utf8);
  }
  return p;
}

std::optional<std::vector<MemoryEntry>> DirectoryFileMemory::list(const MemoryPath& folder) const {
  const auto dir = locate(folder);
  std::error_code ec;
  // The root may be reached through a link (a home folder moved elsewhere, say); a
  // link inside it is not a folder of the memory.
  if (!dir || !fs::is_directory(folder.empty() ? fs::status(*dir, ec) : fs::symlink_status(*dir, ec))) {
    return std::nullopt;
  }
  struct Found {
    MemoryEntry entry;
    fs::file_time_type modified;
  };
  std::vector<Found> found;
  for (fs::directory_iterator it(*dir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::file_status st = it->symlink_status(ec);
    if (ec) break;
    const bool isFolder = fs::is_directory(st);
    if (!isFolder && !fs::is_regular_file(st)) continue;
    const auto name = protocol::utf8ToShiftJis(platform::utf8Of(it->path().filename()));
    // A name with a backslash of its own could never be reached by a path.
    if (!name || protocol::lastSeparator(*name) != std::string::npos) continue;
    MemoryEntry entry{*name, isFolder, false, 0};
    if (!isFolder) {
      const std::uintmax_t size = it->file_size(ec);
      if (ec || size > kMaxFileSize) continue;
      entry.size = static_cast<std::uint32_t>(size);
      entry.readOnly = (st.permissions() & fs::perms::owner_write) == fs::perms::none;
    }
    found.push_back({std::move(entry), it->last_write_time(ec)});
  }
  if (ec) return std::nullopt;
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.entry.name < b.entry.name;
  });
  std::vector<MemoryEntry> entries;
  entries.reserve(found.size());
  for (auto& f : found) entries.push_back(std::move(f.entry));
  return entries;
}

bool DirectoryFileMemory::makeFolder(const MemoryPath& path) {
  const auto p = locate(path);
  std::error_code ec;
  return p && !path.empty() && fs::create_directory(*p, ec) && !ec;
}

bool DirectoryFileMemory::removeFolder(const MemoryPath& path) {
  const auto p = locate(path);
  std::error_code ec;
  if (!p || path.empty() || !fs::is_directory(fs::symlink_status(*p, ec)) || !fs::is_empty(*p, ec)) return false;
  return fs::remove(*p, ec) && !ec;
}

bool DirectoryFileMemory::removeFile(const MemoryPath& path) {
  const auto p = locate(path);
  std::error_code ec;
  if (!p || !fs::is_regular_file(fs::symlink_status(*p, ec))) return false;
  return fs::remove(*p, ec) && !ec;
}

bool DirectoryFileMemory::rename(const MemoryPath& path, const std::string& newName) {
  MemoryPath target = path;
  if (target.empty()) return false;
  target.back() = newName;
  const auto from = locate(path);
  const auto to = locate(target);
  std::error_code ec;
  if (!from || !to || !fs::exists(fs::symlink_status(*from, ec))) return false;
  if (fs::exists(fs::symlink_status(*to, ec)) && !fs::equivalent(*from, *to, ec)) return false;
  fs::rename(*from, *to, ec);
  return !ec;
}

std::optional<std::vector<std::uint8_t>> DirectoryFileMemory::read(const MemoryPath& path) const {
  const auto p = locate(path);
  std::error_code ec;
  if (!p || !fs::is_regular_file(fs::symlink_status(*p, ec))) return std::nullopt;
  const std::uintmax_t size = fs::file_size(*p, ec);
  if (ec || size > kMaxFileSize) return std::nullopt;
  std::ifstream f(*p, std::ios::binary);
  if (!f) return std::nullopt;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  if (!f.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()))) return std::nullopt;
  return data;
}

bool DirectoryFileMemory::create(const MemoryPath& path) {
  const auto p = locate(path);
  std::error_code ec;
  if (!p || path.empty()) return false;
  const fs::file_status st = fs::symlink_status(*p, ec);
  if (fs::exists(st) && (!fs::is_regular_file(st) || !isWritable(*p))) return false;
  std::ofstream f(*p, std::ios::binary | std::ios::trunc);
  return f.is_open();
}

bool DirectoryFileMemory::append(const MemoryPath& path, std::span<const std::uint8_t> bytes) {
  const auto p = locate(path);
  std::error_code ec;
  if (!p || !fs::is_regular_file(fs::symlink_status(*p, ec)) || !isWritable(*p)) return false;
  std::ofstream f(*p, std::ios::binary | std::ios::app);
  if (!f) return false;
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  f.flush();
  return f.good();
}

bool DirectoryFileMemory::setReadOnly(const MemoryPath& path, bool readOnly) {
  const auto p = locate(path);
  std::error_code ec;
  if (!p || !fs::is_regular_file(fs::symlink_status(*p, ec))) return false;
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(*p, readOnly ? write : fs::perms::owner_write,
                  readOnly ? fs::perm_options::remove : fs::perm_options::add, ec);
  return !ec;
}

fs::path defaultInstrumentDirectory() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return fs::path(data) / "quaverly" / "instrument";
  // Windows keeps the per-user data of a program in the local application data folder.
  if (const char* local = std::getenv("LOCALAPPDATA"); local && *local) {
    return fs::path(local) / "quaverly" / "instrument";
  }
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : ".") / ".local" / "share" / "quaverly" / "instrument";
}

}  // namespace quaverly::instrument
