#include "cli/SendPlan.h"

#include <algorithm>
#include <system_error>

#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/FileNameRule.h"

namespace quaverly::cli {

namespace {

namespace fs = std::filesystem;

// The entry's own name; "songs/" and "songs/." name the folder songs.
std::string nameOf(const fs::path& entry) {
  fs::path normal = entry.lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();
  return platform::utf8Of(normal.filename());
}

}  // namespace

void SendPlanner::add(const fs::path& entry) { addEntry(entry, ""); }

void SendPlanner::addEntry(const fs::path& entry, const std::string& folder) {
  const std::string shown = "'" + platform::utf8Of(entry) + "': ";
  const std::string name = nameOf(entry);
  std::error_code error;
  // Symbolic links are followed: a loop ends at the instrument's path length.
  const fs::file_status status = fs::status(entry, error);
  if (status.type() != fs::file_type::regular && status.type() != fs::file_type::directory) {
    plan_.refused.push_back(
        shown + (status.type() == fs::file_type::not_found ? "no such file or folder" : "neither a file nor a folder"));
    return;
  }
  if (!isValidFileName(name)) {
    plan_.refused.push_back(shown + "the instrument takes only 8.3 names such as SONG1.MID");
    return;
  }
  const std::string wirePath = folder.empty() ? name : folder + "\\" + name;
  // The chosen folder, a backslash and this path.
  if (destinationWireBytes_ + 1 + wirePath.size() > maxWirePathBytes_) {
    plan_.refused.push_back(shown + "its path on the instrument would be too long");
    return;
  }
  if (!claim(wirePath, entry)) return;
  if (status.type() == fs::file_type::regular) {
    plan_.files.push_back(platform::utf8Of(entry));
    plan_.subfolders.push_back(folder);
    return;
  }
  plan_.folders.push_back(wirePath);
  std::vector<fs::path> children;
  for (fs::directory_iterator it(entry, error), end; !error && it != end; it.increment(error)) {
    children.push_back(it->path());
  }
  if (error) {
    plan_.refused.push_back(shown + "cannot be read (" + error.message() + ")");
    return;
  }
  std::sort(children.begin(), children.end());
  for (const fs::path& child : children) addEntry(child, wirePath);
}

bool SendPlanner::claim(const std::string& wirePath, const fs::path& entry) {
  const auto [at, added] = wirePaths_.emplace(wirePath, entry);
  if (added) return true;
  plan_.refused.push_back("'" + platform::utf8Of(entry) + "': the instrument cannot tell it from '" +
                          platform::utf8Of(at->second) + "'");
  return false;
}

}  // namespace quaverly::cli
