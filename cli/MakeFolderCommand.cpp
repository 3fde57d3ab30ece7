#include "cli/MakeFolderCommand.h"

#include "app/protocol/FileCommands.h"
#include "app/protocol/wire/FileNameRule.h"
#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "mkdir PATH",
    .description =
        "Makes the folder PATH on the instrument; the folder that holds it must exist.\n"
        "The new folder's name follows the 8.3 rule of file names.\n",
    .fewestArguments = 1,
    .mostArguments = 1,
};

int runMakeFolder(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
                  std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<InstrumentPath> argument = entryPathArgument(args[0], "the drive 0: exists already", err);
  if (!argument) return kExitUsageOrFile;
  const InstrumentPath& path = *argument;
  if (!isValidFileName(path.name())) {
    showMessage(MessageId::BadFolderName);
    return kExitUsageOrFile;
  }

  FolderTreeSession session(options, err);
  if (const int status = session.start()) return status;
  const Found parent = session.find(path.parent(), Lookup::ListedFolder, "look into");
  if (!parent.node) return parent.status;
  InstrumentFolderTree& tree = session.tree();
  if (childNamed(tree, parent.node, path.name())) {
    showMessage(MessageId::NameUsed);
    return kExitRefused;
  }
  // The stored spelling of the folders above, the user's of the new name.
  const std::string parentWire = tree.pathOf(parent.node);
  const protocol::LinkResult result = protocol::makeFolder(session.link(), parentWire + "\\" + path.name());
  if (result == protocol::kLinkRefused) {
    showMessage(MessageId::CannotCreate, path.display());
    return kExitRefused;
  }
  if (result != protocol::kLinkSuccess) return reportFailure(err, "make " + path.display(), result);
  return kExitSuccess;
}

const Command kMakeFolder{"mkdir", kUsage.synopsis, "make a folder on the instrument", runMakeFolder};

}  // namespace

const Command& makeFolderCommand() { return kMakeFolder; }

}  // namespace quaverly::cli
