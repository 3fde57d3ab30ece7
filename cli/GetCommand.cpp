#include "cli/GetCommand.h"

#include <filesystem>
#include <vector>

#include "app/jobs/ReceiveJob.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"
#include "cli/TransferSession.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "get [--to FOLDER] PATH...",
    .description =
        "Receives the instrument files PATH (such as 0:\\POPS\\SONG1.MID or\n"
        "POPS/SONG1.MID) into FOLDER, by default the current folder. An existing\n"
        "file is replaced only when the question is answered so; it keeps its\n"
        "contents when its transfer fails.\n"
        "  --to FOLDER  the PC folder to save into\n",
    .optionHelp = kTransferOptionsHelp,
};

int runGet(std::span<const std::string_view> args, const GlobalOptions& globalOptions, std::ostream& out,
           std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<TransferOptions> options = parseTransferOptions(args, false, kUsage.synopsis, err);
  if (!options) return kExitUsageOrFile;
  std::vector<InstrumentPath> paths;
  for (const std::string_view arg : options->operands) {
    const std::optional<InstrumentPath> path = entryPathArgument(arg, "the drive 0: is no file to receive", err);
    if (!path) return kExitUsageOrFile;
    // Every file lands in the one PC folder under its own name: two of the same name
    // would replace each other, so such a batch is refused before anything moves.
    for (const InstrumentPath& earlier : paths) {
      if (protocol::equalsIgnoringAsciiCase(earlier.name(), path->name())) {
        printFailure(err, "cannot receive " + earlier.display() + " and " + path->display() +
                              " into one folder: both are named " + protocol::displayText(path->name()));
        return kExitUsageOrFile;
      }
    }
    paths.push_back(*path);
  }
  const std::string folder = options->to.value_or("");
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
    printFailure(err, "cannot save into '" + folder + "': no such folder");
    return kExitUsageOrFile;
  }

  FolderTreeSession device(globalOptions, err);
  if (const int status = device.open()) return status;
  TransferSession session(*options, err);
  if (const int status = device.connect()) return status;

  ReceiveRequest request{folder, &device.tree(), {}};
  for (const InstrumentPath& path : paths) {
    const Found found = device.find(path, Lookup::Entry, "look for");
    if (!found.node) return found.status;
    if (device.tree().kindOf(found.node) != InstrumentFolderTree::kFile) {
      printFailure(err, "cannot receive " + path.display() + ": it is a folder");
      return kExitRefused;
    }
    request.receiveFiles.push_back(found.node);
  }
  JobEnvironment environment = session.environment(device);
  return session.exitStatus(runReceiveJob(request, environment));
}

const Command kGet{"get", kUsage.synopsis, "receive files from the instrument into a PC folder", runGet};

}  // namespace

const Command& getCommand() { return kGet; }

}  // namespace quaverly::cli
