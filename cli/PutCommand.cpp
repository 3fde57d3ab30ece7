#include "cli/PutCommand.h"

#include <filesystem>
#include <map>
#include <vector>

#include "app/jobs/TransmitJob.h"
#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/FileNameRule.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "cli/DeviceCommand.h"
#include "cli/SendPlan.h"
#include "cli/TerminalMessages.h"
#include "cli/TransferSession.h"

namespace quaverly::cli {

namespace {

namespace fs = std::filesystem;

constexpr DeviceCommandUsage kUsage{
    .synopsis = "put [-r] [--verify] [--to FOLDER] FILE...",
    .description =
        "Transmits the PC files FILE into the instrument folder FOLDER, by default the\n"
        "drive 0:. Each name must be an 8.3 name the instrument accepts. An existing\n"
        "file is replaced only when the question is answered so.\n"
        "  --to FOLDER  the instrument folder, such as 0:\\POPS or POPS\n"
        "  --convert always|never|ask\n"
        "             whether Standard MIDI Files of format 1 are converted to format\n"
        "             0 on the way (default: the setting ConvertMode)\n"
        "  -r         FILE may be a folder: it is sent with everything below it as a\n"
        "             folder of its name in FOLDER; FOLDER and the instrument's folders\n"
        "             are made as needed. Every name is checked before anything is sent.\n"
        "  --verify   read each file back after sending it and compare it with the\n"
        "             bytes sent (as converted); a difference is reported with its\n"
        "             offset and gives exit status 1 after the batch\n",
    .optionHelp = kTransferOptionsHelp,
};

// The files named, each checked; nothing after the reason is shown.
bool addFiles(const TransferOptions& options, TransmitRequest& request, std::ostream& err) {
  for (const std::string_view arg : options.operands) {
    const fs::path file = platform::pathFromUtf8(arg);
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
      printFailure(err, "cannot send '" + std::string(arg) + "': " +
                            (fs::is_directory(file, error) ? "it is a folder (put -r sends folders)" : "no such file"));
      return false;
    }
    if (!isValidFileName(platform::utf8Of(file.filename()))) {
      printFailure(err,
                   "cannot send '" + std::string(arg) + "': the instrument takes only 8.3 names such as SONG1.MID");
      return false;
    }
    request.transmitFiles.emplace_back(arg);
  }
  return true;
}

// The files and folders named with everything below the folders; every entry that
// cannot be sent is shown, and then nothing is sent.
bool addTrees(const TransferOptions& options, const InstrumentPath& destination, TransmitRequest& request,
              std::vector<std::string>& folders, std::ostream& err) {
  SendPlanner planner(destination.wire().size(), kMaxWirePathBytes);
  for (const std::string_view arg : options.operands) planner.add(platform::pathFromUtf8(arg));
  const SendPlan& plan = planner.plan();
  for (const std::string& refused : plan.refused) printFailure(err, "cannot send " + refused);
  if (!plan.refused.empty()) return false;
  request.transmitFiles = plan.files;
  request.destinationSubfolders = plan.subfolders;
  folders = plan.folders;
  return true;
}

// The destination of put -r: found, or made with the folders above it as the job's
// first folders. `node` is the existing destination, or none. kExitSuccess, or the
// exit status after the reason.
int findOrPlanDestination(FolderTreeSession& device, const InstrumentPath& destination, TransmitRequest& request,
                          FolderNode*& node, std::ostream& err) {
  InstrumentFolderTree& tree = device.tree();
  node = tree.drive();
  InstrumentPath prefix;
  for (const std::string& part : destination.parts) {
    prefix.parts.push_back(part);
    if (node) node = findOnInstrument(tree, prefix);
    if (node && tree.kindOf(node) == InstrumentFolderTree::kFile) {
      printFailure(err, "cannot make the folder " + prefix.display() + ": a file of that name is there");
      return kExitRefused;
    }
    if (!node) request.foldersToMake.push_back(prefix.wire());
  }
  if (node) tree.listFolder(node);
  return device.answeredStatus(destination, "look into");
}

// Finds each of the plan's folders below the destination on the instrument: an
// existing one is listed (for the overwrite questions), a missing one is left to the
// job to make. kExitSuccess, or the exit status after the reason.
int resolveFolders(FolderTreeSession& device, const InstrumentPath& destination, FolderNode* destinationNode,
                   const std::vector<std::string>& folders, TransmitRequest& request, std::ostream& err) {
  InstrumentFolderTree& tree = device.tree();
  // The existing folder of each relative path; none for a folder still to be made.
  std::map<std::string, FolderNode*, std::less<>> existing{{"", destinationNode}};
  for (const std::string& relative : folders) {
    const std::size_t separator = relative.rfind('\\');
    const std::string parent = separator == std::string::npos ? "" : relative.substr(0, separator);
    const std::string name = separator == std::string::npos ? relative : relative.substr(separator + 1);
    FolderNode* parentNode = existing.at(parent);
    FolderNode* node = parentNode ? childNamed(tree, parentNode, name) : nullptr;
    if (node && tree.kindOf(node) == InstrumentFolderTree::kFile) {
      printFailure(
          err, "cannot make the folder " + protocol::displayText(tree.pathOf(node)) + ": a file of that name is there");
      return kExitRefused;
    }
    if (node) {
      tree.listFolder(node);
    } else {
      request.foldersToMake.push_back(destination.wire() + "\\" + relative);
    }
    existing.emplace(relative, node);
  }
  return device.answeredStatus(destination, "look into");
}

int runPut(std::span<const std::string_view> args, const GlobalOptions& globalOptions, std::ostream& out,
           std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<TransferOptions> options = parseTransferOptions(args, true, kUsage.synopsis, err);
  if (!options) return kExitUsageOrFile;
  const std::optional<InstrumentPath> destination = pathArgument(options->to.value_or("0:"), err);
  if (!destination) return kExitUsageOrFile;
  // Every file is checked before the instrument is asked anything.
  TransmitRequest request;
  std::vector<std::string> folders;
  if (!(options->recursive ? addTrees(*options, *destination, request, folders, err)
                           : addFiles(*options, request, err))) {
    return kExitUsageOrFile;
  }
  request.pcFolder =
      platform::utf8Of(platform::pathFromUtf8(options->operands.front()).lexically_normal().parent_path());
  request.verify = options->verify;

  FolderTreeSession device(globalOptions, err);
  if (const int status = device.open()) return status;
  TransferSession session(*options, err);
  if (const int status = device.connect()) return status;

  if (options->recursive) {
    FolderNode* destinationNode = nullptr;
    if (const int status = findOrPlanDestination(device, *destination, request, destinationNode, err)) return status;
    if (const int status = resolveFolders(device, *destination, destinationNode, folders, request, err)) {
      return status;
    }
  } else {
    const Found folder = device.find(*destination, Lookup::ListedFolder, "look for");
    if (!folder.node) return folder.status;
  }
  request.destinationPath = destination->wire();
  request.tree = &device.tree();
  JobEnvironment environment = session.environment(device);
  const JobOutcome outcome = runTransmitJob(request, environment);
  for (const VerifyMismatch& mismatch : outcome.mismatches) {
    printFailure(err,
                 mismatch.name + " came back other than it was sent, first at byte " + std::to_string(mismatch.offset));
  }
  const int status = session.exitStatus(outcome);
  return status == kExitSuccess && !outcome.mismatches.empty() ? kExitRefused : status;
}

const Command kPut{"put", kUsage.synopsis, "transmit PC files (or folders, -r) into a folder of the instrument",
                   runPut};

}  // namespace

const Command& putCommand() { return kPut; }

}  // namespace quaverly::cli
