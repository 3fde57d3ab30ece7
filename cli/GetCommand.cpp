#include "cli/GetCommand.h"

#include <filesystem>
#include <vector>

#include "app/jobs/ReceiveJob.h"
#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "cli/DeviceCommand.h"
#include "cli/ReceivePlan.h"
#include "cli/TerminalMessages.h"
#include "cli/TransferSession.h"

namespace quaverly::cli {

namespace {

namespace fs = std::filesystem;

constexpr DeviceCommandUsage kUsage{
    .synopsis = "get [-r] [--to FOLDER] PATH...",
    .description =
        "Receives the instrument files PATH (such as 0:\\POPS\\SONG1.MID or\n"
        "POPS/SONG1.MID) into FOLDER, by default the current folder. An existing\n"
        "file is replaced only when the question is answered so; it keeps its\n"
        "contents when its transfer fails.\n"
        "  --to FOLDER  the PC folder to save into\n"
        "  -r         receive folders with everything below them, the instrument's tree\n"
        "             mirrored in FOLDER: 0: is the whole memory, straight into FOLDER;\n"
        "             any other folder becomes a folder of its name there. A name that\n"
        "             cannot be a PC name is reported and left out (exit status 1).\n",
    .optionHelp = kTransferOptionsHelp,
};

// The files named, each into the chosen folder; nothing after the reason is shown.
std::optional<ReceiveRequest> plainRequest(FolderTreeSession& device, const std::vector<InstrumentPath>& paths,
                                           std::ostream& err, int& status) {
  ReceiveRequest request;
  for (const InstrumentPath& path : paths) {
    const Found found = device.find(path, Lookup::Entry, "look for");
    if (!found.node) {
      status = found.status;
      return std::nullopt;
    }
    if (device.tree().kindOf(found.node) != InstrumentFolderTree::kFile) {
      printFailure(err, "cannot receive " + path.display() + ": it is a folder (get -r receives folders)");
      status = kExitRefused;
      return std::nullopt;
    }
    request.receiveFiles.push_back(found.node);
  }
  return request;
}

// Makes the plan's PC folders below `folder`. Every one must be a real folder of its
// own: a file or a symbolic link in its place would put files somewhere else.
bool makePcFolders(const fs::path& folder, const std::vector<std::string>& folders, std::ostream& err) {
  for (const std::string& relative : folders) {
    const fs::path path = folder / platform::pathFromUtf8(relative);
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (status.type() == fs::file_type::not_found) {
      if (!fs::create_directory(path, error) && error) {
        printFailure(err, "cannot make the folder '" + platform::utf8Of(path) + "': " + error.message());
        return false;
      }
    } else if (status.type() != fs::file_type::directory) {
      printFailure(err, "cannot receive into '" + platform::utf8Of(path) + "': it is not a folder");
      return false;
    }
  }
  return true;
}

// Everything below the folders named, the tree mirrored; nothing after the reason
// is shown. `refusedAny` tells whether some entry was left out.
std::optional<ReceiveRequest> treeRequest(FolderTreeSession& device, const std::vector<InstrumentPath>& paths,
                                          const std::string& folder, std::ostream& err, int& status, bool& refusedAny) {
  ReceivePlanner planner(device.tree(), kMaxWirePathBytes);
  for (const InstrumentPath& path : paths) {
    const Found found = device.find(path, Lookup::Entry, "look for");
    if (!found.node) {
      status = found.status;
      return std::nullopt;
    }
    planner.add(found.node);
    if ((status = device.answeredStatus(path, "list"))) return std::nullopt;
  }
  const ReceivePlan& plan = planner.plan();
  if (!plan.clashes.empty()) {
    for (const auto& [first, second] : plan.clashes) {
      printFailure(err, "cannot receive " + first + " and " + second + " into one folder: their names are the same");
    }
    status = kExitUsageOrFile;
    return std::nullopt;
  }
  for (const std::string& refused : plan.refused) {
    printFailure(err, "left out " + refused + ": its name cannot be a PC name");
  }
  refusedAny = !plan.refused.empty();
  if (!makePcFolders(platform::pathFromUtf8(folder.empty() ? "." : folder), plan.folders, err)) {
    status = kExitUsageOrFile;
    return std::nullopt;
  }
  return ReceiveRequest{folder, nullptr, plan.files, plan.subfolders};
}

int runGet(std::span<const std::string_view> args, const GlobalOptions& globalOptions, std::ostream& out,
           std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<TransferOptions> options = parseTransferOptions(args, false, kUsage.synopsis, err);
  if (!options) return kExitUsageOrFile;
  std::vector<InstrumentPath> paths;
  for (const std::string_view arg : options->operands) {
    const std::optional<InstrumentPath> path =
        options->recursive ? pathArgument(arg, err) : entryPathArgument(arg, "the drive 0: is no file to receive", err);
    if (!path) return kExitUsageOrFile;
    // Every file lands in the one PC folder under its own name: two of the same name
    // would replace each other, so such a batch is refused before anything moves.
    // With -r the names below the folders are compared once they are listed.
    for (const InstrumentPath& earlier : paths) {
      if (!options->recursive && protocol::equalsIgnoringAsciiCase(earlier.name(), path->name())) {
        printFailure(err, "cannot receive " + earlier.display() + " and " + path->display() +
                              " into one folder: both are named " + protocol::displayText(path->name()));
        return kExitUsageOrFile;
      }
    }
    paths.push_back(*path);
  }
  const std::string folder = options->to.value_or("");
  std::error_code error;
  if (!folder.empty() && !fs::is_directory(platform::pathFromUtf8(folder), error)) {
    printFailure(err, "cannot save into '" + folder + "': no such folder");
    return kExitUsageOrFile;
  }

  FolderTreeSession device(globalOptions, err);
  if (const int status = device.open()) return status;
  TransferSession session(*options, err);
  if (const int status = device.connect()) return status;

  int status = kExitSuccess;
  bool refusedAny = false;
  std::optional<ReceiveRequest> request = options->recursive
                                              ? treeRequest(device, paths, folder, err, status, refusedAny)
                                              : plainRequest(device, paths, err, status);
  if (!request) return status;
  request->pcFolder = folder;
  request->tree = &device.tree();
  JobEnvironment environment = session.environment(device);
  status = session.exitStatus(runReceiveJob(*request, environment));
  return status == kExitSuccess && refusedAny ? kExitRefused : status;
}

const Command kGet{"get", kUsage.synopsis, "receive files (or folders, -r) from the instrument into a PC folder",
                   runGet};

}  // namespace

const Command& getCommand() { return kGet; }

}  // namespace quaverly::cli
