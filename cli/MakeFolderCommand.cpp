#include "cli/MakeFolderCommand.h"

#include "app/protocol/wire/FileNameRule.h"
#include "app/jobs/InstrumentFolderTree.h"
#include "app/protocol/FileCommands.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "mkdir PATH";

int runMakeFolder(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
                  std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis,
                           "Makes the folder PATH on the instrument; the folder that holds it must exist.\n"
                           "The new folder's name follows the 8.3 rule of file names.\n");
    return kExitSuccess;
  }
  if (args.size() != 1) {
    printFailure(err, "usage: quaverly-cli " + std::string(kSynopsis));
    return kExitUsageOrFile;
  }
  const std::optional<InstrumentPath> argument = entryPathArgument(args[0], "the drive 0: exists already", err);
  if (!argument) return kExitUsageOrFile;
  const InstrumentPath& path = *argument;
  if (!isValidFileName(path.name())) {
    showMessage(MessageId::BadFolderName);
    return kExitUsageOrFile;
  }

  DeviceSession session(options, err);
  if (const int status = session.open()) return status;
  if (const int status = session.connect()) return status;

  CheckedFileCommands commands(session.link());
  InstrumentFolderTree tree(commands);
  const InstrumentPath parentPath = path.parent();
  FolderNode* parent = findOnInstrument(tree, parentPath);
  if (parent && tree.kindOf(parent) != InstrumentFolderTree::kFile) tree.listFolder(parent);
  if (const auto failure = commands.failure()) {
    printFailure(err, "cannot look into " + parentPath.display() + ": " + failureText(*failure));
    return exitStatusOf(*failure);
  }
  if (!parent || tree.kindOf(parent) == InstrumentFolderTree::kFile) {
    showMessage(MessageId::NotFound, parentPath.display());
    return kExitRefused;
  }
  if (childNamed(tree, parent, path.name())) {
    showMessage(MessageId::NameUsed);
    return kExitRefused;
  }
  // The stored spelling of the folders above, the user's of the new name.
  const std::string parentWire = tree.pathOf(parent);
  const protocol::LinkResult result = protocol::makeFolder(session.link(), parentWire + "\\" + path.name());
  if (result != protocol::kLinkSuccess) {
    if (result == protocol::kLinkRefused) {
      showMessage(MessageId::CannotCreate, path.display());
    } else {
      printFailure(err, "cannot make " + path.display() + ": " + failureText(result));
    }
    return exitStatusOf(result);
  }
  return kExitSuccess;
}

const Command kMakeFolder{"mkdir", kSynopsis, "make a folder on the instrument", runMakeFolder};

}  // namespace

const Command& makeFolderCommand() { return kMakeFolder; }

}  // namespace quaverly::cli
