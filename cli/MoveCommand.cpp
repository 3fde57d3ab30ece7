#include "cli/MoveCommand.h"

#include "app/protocol/wire/FileNameRule.h"
#include "app/jobs/InstrumentFolderTree.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "mv PATH NEWNAME";

int runMove(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
            std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis,
                           "Renames the file or folder PATH on the instrument to NEWNAME, in the same folder.\n"
                           "NEWNAME is an 8.3 name of ASCII letters, digits and $&#%'()-@_^{}~!.\n");
    return kExitSuccess;
  }
  if (args.size() != 2) {
    printFailure(err, "usage: quaverly-cli " + std::string(kSynopsis));
    return kExitUsageOrFile;
  }
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

  DeviceSession session(options, err);
  if (const int status = session.open()) return status;
  if (const int status = session.connect()) return status;

  CheckedFileCommands commands(session.link());
  InstrumentFolderTree tree(commands);
  FolderNode* node = findOnInstrument(tree, path);
  if (const auto failure = commands.failure()) {
    printFailure(err, "cannot look for " + path.display() + ": " + failureText(*failure));
    return exitStatusOf(*failure);
  }
  if (!node) {
    showMessage(MessageId::NotFound, path.display());
    return kExitRefused;
  }
  // Another entry of the folder may hold the name already; the entry itself may, in
  // other letter case, and is then renamed to the new spelling.
  if (FolderNode* existing = childNamed(tree, tree.parentOf(node), newName); existing && existing != node) {
    showMessage(MessageId::NameUsed);
    return kExitRefused;
  }
  if (std::string_view(tree.nameOf(node)) == newName) return kExitSuccess;
  if (!tree.renameEntry(node, newName)) {
    printFailure(err, "cannot rename " + path.display() + ": " + failureText(commands.last()));
    return exitStatusOf(commands.last());
  }
  return kExitSuccess;
}

const Command kMove{"mv", kSynopsis, "rename a file or folder on the instrument", runMove};

}  // namespace

const Command& moveCommand() { return kMove; }

}  // namespace quaverly::cli
