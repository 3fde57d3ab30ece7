#include "cli/ListCommand.h"

#include <iomanip>
#include <vector>

#include "app/jobs/InstrumentFolderTree.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "cli/DeviceCommand.h"
#include "cli/JsonText.h"

namespace quaverly::cli {

namespace {

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

// One entry as a JSON object: name, kind, size (null for a folder), read-only flag.
void printJsonEntry(std::ostream& out, const InstrumentFolderTree& tree, const FolderNode* node) {
  const bool file = tree.kindOf(node) == InstrumentFolderTree::kFile;
  out << "{\"name\": " << jsonName(tree.nameOf(node)) << ", \"kind\": \"" << (file ? "file" : "folder")
      << "\", \"size\": ";
  if (file) {
    out << tree.sizeOf(node);
  } else {
    out << "null";
  }
  out << ", \"readOnly\": " << (tree.isReadOnly(node) ? "true" : "false") << "}";
}

constexpr DeviceCommandUsage kUsage{
    .synopsis = "ls [FOLDER]",
    .description =
        "Lists a folder of the instrument (default: the drive \"0:\"), folders first, one entry\n"
        "a line: DIR or FILE, 'r' for a read-only entry, the size in bytes, the name.\n"
        "Given a file, lists that file. With --json: {\"path\": PATH, \"entries\": [{\"name\",\n"
        "\"kind\" (\"file\" or \"folder\"), \"size\" (bytes; null for a folder), \"readOnly\"}]}.\n",
    .mostArguments = 1,
};

int runList(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
            std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<InstrumentPath> path = pathArgument(args.empty() ? std::string_view("0:") : args[0], err);
  if (!path) return kExitUsageOrFile;

  FolderTreeSession session(options, err);
  if (const int status = session.start()) return status;
  FolderNode* node = session.locate(*path, Lookup::ListedEntry);
  // The instrument is let go before anything is printed.
  session.disconnect();
  if (const int status = session.checkFound(node, *path, Lookup::ListedEntry, "list")) return status;

  const InstrumentFolderTree& tree = session.tree();
  std::vector<const FolderNode*> entries;
  if (tree.kindOf(node) == InstrumentFolderTree::kFile) {
    entries.push_back(node);
  } else {
    for (const FolderNode* child = tree.firstChild(node); child; child = tree.nextSibling(child)) {
      entries.push_back(child);
    }
  }
  if (!options.json) {
    for (const FolderNode* entry : entries) printEntry(out, tree, entry);
    return kExitSuccess;
  }
  out << "{\"path\": " << jsonName(tree.pathOf(node)) << ", \"entries\": [";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    out << (i == 0 ? "\n  " : ",\n  ");
    printJsonEntry(out, tree, entries[i]);
  }
  out << (entries.empty() ? "]}\n" : "\n]}\n");
  return kExitSuccess;
}

const Command kList{"ls", kUsage.synopsis, "list a folder of the instrument (default 0:)", runList, true};

}  // namespace

const Command& listCommand() { return kList; }

}  // namespace quaverly::cli
