#include "cli/GetCommand.h"

#include <filesystem>
#include <vector>

#include "app/jobs/InstrumentFolderTree.h"
#include "app/jobs/ReceiveJob.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "cli/DeviceSession.h"
#include "cli/InstrumentPath.h"
#include "cli/TerminalMessages.h"
#include "cli/TransferSession.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "get [--to FOLDER] PATH...";

int runGet(std::span<const std::string_view> args, const GlobalOptions& globalOptions, std::ostream& out,
           std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis,
                           std::string("Receives the instrument files PATH (such as 0:\\POPS\\SONG1.MID or\n"
                                       "POPS/SONG1.MID) into FOLDER, by default the current folder. An existing\n"
                                       "file is replaced only when the question is answered so; it keeps its\n"
                                       "contents when its transfer fails.\n"
                                       "  --to FOLDER  the PC folder to save into\n") +
                               std::string(kTransferOptionsHelp));
    return kExitSuccess;
  }
  const std::optional<TransferOptions> options = parseTransferOptions(args, false, kSynopsis, err);
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

  DeviceSession device(globalOptions, err);
  if (const int status = device.open()) return status;
  TransferSession session(*options, err);
  if (const int status = device.connect()) return status;

  CheckedFileCommands commands(device.link());
  InstrumentFolderTree tree(commands);
  ReceiveRequest request{folder, &tree, {}};
  for (const InstrumentPath& path : paths) {
    FolderNode* node = findOnInstrument(tree, path);
    if (const auto failure = commands.failure()) {
      printFailure(err, "cannot look for " + path.display() + ": " + failureText(*failure));
      return exitStatusOf(*failure);
    }
    if (!node) {
      showMessage(MessageId::NotFound, path.display());
      return kExitRefused;
    }
    if (tree.kindOf(node) != InstrumentFolderTree::kFile) {
      printFailure(err, "cannot receive " + path.display() + ": it is a folder");
      return kExitRefused;
    }
    request.receiveFiles.push_back(node);
  }
  JobEnvironment environment = session.environment(device);
  return session.exitStatus(runReceiveJob(request, environment));
}

const Command kGet{"get", kSynopsis, "receive files from the instrument into a PC folder", runGet};

}  // namespace

const Command& getCommand() { return kGet; }

}  // namespace quaverly::cli
