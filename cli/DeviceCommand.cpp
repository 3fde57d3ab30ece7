#include "cli/DeviceCommand.h"

#include <string>

#include "app/messages/MessageCatalogue.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

// The usage line, the command's description and options, then what every device
// command takes and the exit statuses.
void printHelp(std::ostream& out, const DeviceCommandUsage& usage) {
  out << "usage: quaverly-cli [OPTIONS] " << usage.synopsis << "\n"
      << usage.description << usage.optionHelp
      << "\nPaths on the instrument are written with '/' or '\\' and may leave out the drive \"0:\".\n"
         "\nOptions (before or after the command):\n"
         "  --in DEVICE    MIDI input device: an index, or part of a name (see 'quaverly-cli ports');\n"
         "                 default: the device Quaverly stored\n"
         "  --out DEVICE   MIDI output device, the same way\n"
         "  --lang ja|en   language of the messages (default: from LC_ALL, LC_MESSAGES, LANG)\n"
         "  -v             print every SysEx message in and out, with the seconds since the start\n"
         "\nExit status: 0 done; 1 the instrument refused or a transfer failed; 2 bad usage or input\n"
         "(nothing was sent); 3 the connection failed, the port library is missing, or the\n"
         "instrument did not answer in time.\n";
}

}  // namespace

std::optional<int> handleUsage(const DeviceCommandUsage& usage, std::span<const std::string_view> args,
                               std::ostream& out, std::ostream& err) {
  if (asksForHelp(args)) {
    printHelp(out, usage);
    return kExitSuccess;
  }
  if (args.size() < usage.fewestArguments || args.size() > usage.mostArguments) {
    const std::string_view name = usage.synopsis.substr(0, usage.synopsis.find(' '));
    printFailure(err, usage.mostArguments == 0 ? std::string(name) + " takes no arguments"
                                               : "usage: quaverly-cli " + std::string(usage.synopsis));
    return kExitUsageOrFile;
  }
  return std::nullopt;
}

FolderTreeSession::FolderTreeSession(const GlobalOptions& options, std::ostream& err)
    : DeviceSession(options, err), commands_(link()), tree_(commands_) {}

FolderNode* FolderTreeSession::locate(const InstrumentPath& path, Lookup lookup) {
  FolderNode* node = findOnInstrument(tree_, path);
  // listFolder leaves a file alone.
  if (node && lookup != Lookup::Entry) tree_.listFolder(node);
  return node;
}

int FolderTreeSession::answeredStatus(const InstrumentPath& path, std::string_view verb) const {
  const auto failure = commands_.failure();
  if (!failure) return kExitSuccess;
  return reportFailure(errorStream(), std::string(verb) + " " + path.display(), *failure);
}

int FolderTreeSession::checkFound(const FolderNode* node, const InstrumentPath& path, Lookup lookup,
                                  std::string_view verb) const {
  if (const int status = answeredStatus(path, verb)) return status;
  if (!node || (lookup == Lookup::ListedFolder && tree_.kindOf(node) == InstrumentFolderTree::kFile)) {
    showMessage(MessageId::NotFound, path.display());
    return kExitRefused;
  }
  return kExitSuccess;
}

Found FolderTreeSession::find(const InstrumentPath& path, Lookup lookup, std::string_view verb) {
  FolderNode* node = locate(path, lookup);
  if (const int status = checkFound(node, path, lookup, verb)) return Found{nullptr, status};
  return Found{node, kExitSuccess};
}

}  // namespace quaverly::cli
