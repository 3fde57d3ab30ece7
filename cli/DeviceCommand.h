// What the device commands of quaverly-cli share before their own work: the help
// and the number of arguments, and a session that looks entries up in the
// instrument's folder tree and reports what stops a lookup the same way for each
// command.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string_view>

#include "app/jobs/InstrumentFolderTree.h"
#include "cli/Command.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"

namespace quaverly::cli {

// How a device command is used.
struct DeviceCommandUsage {
  static constexpr std::size_t kAnyNumber = std::numeric_limits<std::size_t>::max();

  std::string_view synopsis = {};     // "mv PATH NEWNAME"; its first word is the command's name
  std::string_view description = {};  // the help's lines, each ending in '\n'
  std::string_view optionHelp = {};   // lines on the command's own options, after the description
  std::size_t fewestArguments = 0;
  std::size_t mostArguments = kAnyNumber;
};

// The help when `args` ask for it (kExitSuccess), or the line that refuses a wrong
// number of arguments (kExitUsageOrFile): the command ends with the status given.
// Nothing when it goes on. A command without arguments says that it takes none;
// the others show their synopsis.
std::optional<int> handleUsage(const DeviceCommandUsage& usage, std::span<const std::string_view> args,
                               std::ostream& out, std::ostream& err);

// How an entry is looked up, and what will do.
enum class Lookup {
  Entry,         // a file or a folder
  ListedEntry,   // a file or a folder; a folder is listed as well
  ListedFolder,  // a folder, listed; a file of that name counts as missing
};

struct Found {
  FolderNode* node = nullptr;  // the entry; none when the lookup ends the command
  int status = kExitSuccess;   // without a node: the exit status, its reason shown
};

// A device session with the instrument's folder tree, listed from the instrument as
// entries are looked up.
class FolderTreeSession : public DeviceSession {
 public:
  FolderTreeSession(const GlobalOptions& options, std::ostream& err);

  InstrumentFolderTree& tree() { return tree_; }
  // The result of the last instrument command the tree sent.
  protocol::LinkResult lastResult() const { return commands_.last(); }

  // Lists the drive and the folders along `path` and gives the entry it names, or
  // none; with Lookup::ListedEntry or ListedFolder a folder found is listed too.
  FolderNode* locate(const InstrumentPath& path, Lookup lookup);
  // kExitSuccess while the instrument has answered every request of the tree; else
  // the exit status after "cannot VERB PATH: why" ("look for", "look into", "list").
  int answeredStatus(const InstrumentPath& path, std::string_view verb) const;
  // What `node`, found by locate(path, lookup), leaves: kExitSuccess when it will do;
  // else the exit status after the reason: the failed request (answeredStatus), or
  // the message that `path` cannot be found.
  int checkFound(const FolderNode* node, const InstrumentPath& path, Lookup lookup, std::string_view verb) const;
  // locate and checkFound in one.
  Found find(const InstrumentPath& path, Lookup lookup, std::string_view verb);

 private:
  CheckedFileCommands commands_;
  InstrumentFolderTree tree_;
};

}  // namespace quaverly::cli
