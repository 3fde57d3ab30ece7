#include "cli/RemoveFolderCommand.h"

#include "app/protocol/FileCommands.h"
#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "rmdir PATH",
    .description = "Deletes the folder PATH on the instrument; it must be empty.\n",
    .fewestArguments = 1,
    .mostArguments = 1,
};

int runRemoveFolder(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
                    std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<InstrumentPath> argument = entryPathArgument(args[0], "the drive 0: cannot be deleted", err);
  if (!argument) return kExitUsageOrFile;
  const InstrumentPath& path = *argument;

  FolderTreeSession session(options, err);
  if (const int status = session.start()) return status;
  const Found found = session.find(path, Lookup::ListedEntry, "look into");
  if (!found.node) return found.status;
  FolderNode* const node = found.node;
  const InstrumentFolderTree& tree = session.tree();
  if (tree.kindOf(node) == InstrumentFolderTree::kFile) {
    printFailure(err, "cannot delete " + path.display() + ": it is a file (use rm)");
    return kExitRefused;
  }
  if (tree.firstChild(node)) {
    showMessage(MessageId::FolderNotEmpty, path.display());
    return kExitRefused;
  }
  const protocol::LinkResult result = protocol::deleteFolder(session.link(), tree.pathOf(node));
  if (result != protocol::kLinkSuccess) return reportFailure(err, "delete " + path.display(), result);
  return kExitSuccess;
}

const Command kRemoveFolder{"rmdir", kUsage.synopsis, "delete an empty folder on the instrument", runRemoveFolder};

}  // namespace

const Command& removeFolderCommand() { return kRemoveFolder; }

}  // namespace quaverly::cli
