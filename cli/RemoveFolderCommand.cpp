#include "cli/RemoveFolderCommand.h"

#include "app/jobs/InstrumentFolderTree.h"
#include "app/protocol/FileCommands.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "rmdir PATH";

int runRemoveFolder(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
                    std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis, "Deletes the folder PATH on the instrument; it must be empty.\n");
    return kExitSuccess;
  }
  if (args.size() != 1) {
    printFailure(err, "usage: quaverly-cli " + std::string(kSynopsis));
    return kExitUsageOrFile;
  }
  const std::optional<InstrumentPath> argument = entryPathArgument(args[0], "the drive 0: cannot be deleted", err);
  if (!argument) return kExitUsageOrFile;
  const InstrumentPath& path = *argument;

  DeviceSession session(options, err);
  if (const int status = session.open()) return status;
  if (const int status = session.connect()) return status;

  CheckedFileCommands commands(session.link());
  InstrumentFolderTree tree(commands);
  FolderNode* node = findOnInstrument(tree, path);
  if (node && tree.kindOf(node) != InstrumentFolderTree::kFile) tree.listFolder(node);
  if (const auto failure = commands.failure()) {
    printFailure(err, "cannot look into " + path.display() + ": " + failureText(*failure));
    return exitStatusOf(*failure);
  }
  if (!node) {
    showMessage(MessageId::NotFound, path.display());
    return kExitRefused;
  }
  if (tree.kindOf(node) == InstrumentFolderTree::kFile) {
    printFailure(err, "cannot delete " + path.display() + ": it is a file (use rm)");
    return kExitRefused;
  }
  if (tree.firstChild(node)) {
    showMessage(MessageId::FolderNotEmpty, path.display());
    return kExitRefused;
  }
  const protocol::LinkResult result = protocol::deleteFolder(session.link(), tree.pathOf(node));
  if (result != protocol::kLinkSuccess) {
    printFailure(err, "cannot delete " + path.display() + ": " + failureText(result));
    return exitStatusOf(result);
  }
  return kExitSuccess;
}

const Command kRemoveFolder{"rmdir", kSynopsis, "delete an empty folder on the instrument", runRemoveFolder};

}  // namespace

const Command& removeFolderCommand() { return kRemoveFolder; }

}  // namespace quaverly::cli
