#include "cli/MoveCommand.h"

#include "app/protocol/wire/FileNameRule.h"
#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "mv PATH NEWNAME",
    .description =
        "Renames the file or folder PATH on the instrument to NEWNAME, in the same folder.\n"
        "NEWNAME is an 8.3 name of ASCII letters, digits and $&#%'()-@_^{}~!.\n",
    .fewestArguments = 2,
    .mostArguments = 2,
};

int runMove(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
            std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<InstrumentPath> argument = entryPathArgument(args[0], "the drive 0: cannot be renamed", err);
  if (!argument) return kExitUsageOrFile;
  const InstrumentPath& path = *argument;
  // The name rule holds before anything is sent; a valid name is plain ASCII, the
  // same bytes on the wire.
  const std::string_view newName = args[1];
  if (!isValidFileName(newName)) {
    showMessage(MessageId::BadFileName);
    return kExitUsageOrFile;
  }

  FolderTreeSession session(options, err);
  if (const int status = session.start()) return status;
  const Found found = session.find(path, Lookup::Entry, "look for");
  if (!found.node) return found.status;
  FolderNode* const node = found.node;
  InstrumentFolderTree& tree = session.tree();
  // Another entry of the folder may hold the name already; the entry itself may, in
  // other letter case, and is then renamed to the new spelling.
  if (FolderNode* existing = childNamed(tree, tree.parentOf(node), newName); existing && existing != node) {
    showMessage(MessageId::NameUsed);
    return kExitRefused;
  }
  if (std::string_view(tree.nameOf(node)) == newName) return kExitSuccess;
  if (!tree.renameEntry(node, newName)) return reportFailure(err, "rename " + path.display(), session.lastResult());
  return kExitSuccess;
}

const Command kMove{"mv", kUsage.synopsis, "rename a file or folder on the instrument", runMove};

}  // namespace

const Command& moveCommand() { return kMove; }

}  // namespace quaverly::cli
