#include "cli/RemoveCommand.h"

#include <vector>

#include "app/jobs/InstrumentFolderTree.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "rm PATH...";

int runRemove(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
              std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis,
                           "Deletes each file PATH on the instrument. A missing, read-only or refused file is\n"
                           "reported and the others are still deleted; the exit status is then 1.\n"
                           "Folders are deleted with rmdir.\n");
    return kExitSuccess;
  }
  if (args.empty()) {
    printFailure(err, "usage: quaverly-cli " + std::string(kSynopsis));
    return kExitUsageOrFile;
  }
  // Every path is checked before the instrument is asked anything.
  std::vector<InstrumentPath> paths;
  for (const std::string_view arg : args) {
    const std::optional<InstrumentPath> path = entryPathArgument(arg, "the drive 0: cannot be deleted", err);
    if (!path) return kExitUsageOrFile;
    paths.push_back(*path);
  }

  DeviceSession session(options, err);
  if (const int status = session.open()) return status;
  if (const int status = session.connect()) return status;

  CheckedFileCommands commands(session.link());
  InstrumentFolderTree tree(commands);
  int status = kExitSuccess;
  for (const InstrumentPath& path : paths) {
    FolderNode* node = findOnInstrument(tree, path);
    if (const auto failure = commands.failure()) {
      // The instrument no longer answers: the remaining files are not tried.
      printFailure(err, "cannot look for " + path.display() + ": " + failureText(*failure));
      return exitStatusOf(*failure);
    }
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
      showText(messageStyle(MessageId::ReadOnly), path.display() + ": " + std::string(messageText(MessageId::ReadOnly)));
      status = kExitRefused;
      continue;
    }
    if (!tree.deleteEntry(node)) {
      const protocol::LinkResult result = commands.last();
      printFailure(err, "cannot delete " + path.display() + ": " + failureText(result));
      if (result != protocol::kLinkRefused) return exitStatusOf(result);
      status = kExitRefused;
    }
  }
  return status;
}

const Command kRemove{"rm", kSynopsis, "delete files on the instrument", runRemove};

}  // namespace

const Command& removeCommand() { return kRemove; }

}  // namespace quaverly::cli
