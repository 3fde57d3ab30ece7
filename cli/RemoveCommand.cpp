#include "cli/RemoveCommand.h"

#include <vector>

#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "rm PATH...",
    .description =
        "Deletes each file PATH on the instrument. A missing, read-only or refused file is\n"
        "reported and the others are still deleted; the exit status is then 1.\n"
        "Folders are deleted with rmdir.\n",
    .fewestArguments = 1,
};

int runRemove(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
              std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  // Every path is checked before the instrument is asked anything.
  std::vector<InstrumentPath> paths;
  for (const std::string_view arg : args) {
    const std::optional<InstrumentPath> path = entryPathArgument(arg, "the drive 0: cannot be deleted", err);
    if (!path) return kExitUsageOrFile;
    paths.push_back(*path);
  }

  FolderTreeSession session(options, err);
  if (const int status = session.start()) return status;
  InstrumentFolderTree& tree = session.tree();
  int status = kExitSuccess;
  for (const InstrumentPath& path : paths) {
    FolderNode* node = session.locate(path, Lookup::Entry);
    // The instrument no longer answers: the remaining files are not tried.
    if (const int failed = session.answeredStatus(path, "look for")) return failed;
    if (!node) {
      showMessage(MessageId::CannotFindToDelete, path.display());
      status = kExitRefused;
      continue;
    }
    if (tree.kindOf(node) != InstrumentFolderTree::kFile) {
      printFailure(err, "cannot delete " + path.display() + ": it is a folder (use rmdir)");
      status = kExitRefused;
      continue;
    }
    if (tree.isReadOnly(node)) {
      showText(messageStyle(MessageId::ReadOnly),
               path.display() + ": " + std::string(messageText(MessageId::ReadOnly)));
      status = kExitRefused;
      continue;
    }
    if (!tree.deleteEntry(node)) {
      // A refusal spares the other files; any other failure ends the command.
      const int failed = reportFailure(err, "delete " + path.display(), session.lastResult());
      if (failed != kExitRefused) return failed;
      status = kExitRefused;
    }
  }
  return status;
}

const Command kRemove{"rm", kUsage.synopsis, "delete files on the instrument", runRemove};

}  // namespace

const Command& removeCommand() { return kRemove; }

}  // namespace quaverly::cli
