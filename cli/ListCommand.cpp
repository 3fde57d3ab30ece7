#include "cli/ListCommand.h"

#include <iomanip>

#include "app/jobs/InstrumentFolderTree.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "ls [FOLDER]";

// One entry: kind, read-only mark, size (none for a folder), name.
void printEntry(std::ostream& out, const InstrumentFolderTree& tree, const FolderNode* node) {
  const bool file = tree.kindOf(node) == InstrumentFolderTree::kFile;
  out << std::left << std::setw(4) << (file ? "FILE" : "DIR") << ' ' << (tree.isReadOnly(node) ? 'r' : '-') << ' '
      << std::right << std::setw(10);
  if (file) {
    out << tree.sizeOf(node);
  } else {
    out << '-';
  }
  out << ' ' << protocol::displayText(tree.nameOf(node)) << '\n';
}

int runList(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
            std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis,
                           "Lists a folder of the instrument (default: the drive \"0:\"), folders first, one entry\n"
                           "a line: DIR or FILE, 'r' for a read-only entry, the size in bytes, the name.\n"
                           "Given a file, lists that file.\n");
    return kExitSuccess;
  }
  if (args.size() > 1) {
    printFailure(err, "usage: quaverly-cli " + std::string(kSynopsis));
    return kExitUsageOrFile;
  }
  const ParsedPath parsed = parseInstrumentPath(args.empty() ? std::string_view("0:") : args[0]);
  if (!parsed.path) {
    printFailure(err, parsed.error);
    return kExitUsageOrFile;
  }
  const InstrumentPath& path = *parsed.path;

  DeviceSession session(options, err);
  if (const int status = session.open()) return status;
  if (const int status = session.connect()) return status;

  CheckedFileCommands commands(session.link());
  InstrumentFolderTree tree(commands);
  FolderNode* node = findOnInstrument(tree, path);
  if (node && tree.kindOf(node) != InstrumentFolderTree::kFile) tree.listFolder(node);
  session.disconnect();

  if (const auto failure = commands.failure()) {
    printFailure(err, "cannot list " + path.display() + ": " + failureText(*failure));
    return exitStatusOf(*failure);
  }
  if (!node) {
    showMessage(MessageId::NotFound, path.display());
    return kExitRefused;
  }
  if (tree.kindOf(node) == InstrumentFolderTree::kFile) {
    printEntry(out, tree, node);
  } else {
    for (const FolderNode* child = tree.firstChild(node); child; child = tree.nextSibling(child)) {
      printEntry(out, tree, child);
    }
  }
  return kExitSuccess;
}

const Command kList{"ls", kSynopsis, "list a folder of the instrument (default 0:)", runList};

}  // namespace

const Command& listCommand() { return kList; }

}  // namespace quaverly::cli
