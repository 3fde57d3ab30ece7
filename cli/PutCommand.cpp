#include "cli/PutCommand.h"

#include <filesystem>
#include <vector>

#include "app/jobs/TransmitJob.h"
#include "app/protocol/wire/FileNameRule.h"
#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"
#include "cli/TransferSession.h"

namespace quaverly::cli {

namespace {

namespace fs = std::filesystem;

constexpr DeviceCommandUsage kUsage{
    .synopsis = "put [--to FOLDER] FILE...",
    .description =
        "Transmits the PC files FILE into the instrument folder FOLDER, by default the\n"
        "drive 0:. Each name must be an 8.3 name the instrument accepts. An existing\n"
        "file is replaced only when the question is answered so.\n"
        "  --to FOLDER  the instrument folder, such as 0:\\POPS or POPS\n"
        "  --convert always|never|ask\n"
        "             whether Standard MIDI Files of format 1 are converted to format\n"
        "             0 on the way (default: the setting ConvertMode)\n",
    .optionHelp = kTransferOptionsHelp,
};

int runPut(std::span<const std::string_view> args, const GlobalOptions& globalOptions, std::ostream& out,
           std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const std::optional<TransferOptions> options = parseTransferOptions(args, true, kUsage.synopsis, err);
  if (!options) return kExitUsageOrFile;
  const std::optional<InstrumentPath> destination = pathArgument(options->to.value_or("0:"), err);
  if (!destination) return kExitUsageOrFile;
  // Every file is checked before the instrument is asked anything.
  TransmitRequest request;
  for (const std::string_view arg : options->operands) {
    const fs::path file(arg);
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
      printFailure(err, "cannot send '" + std::string(arg) + "': no such file");
      return kExitUsageOrFile;
    }
    const std::string name = file.filename().string();
    if (!isValidFileName(name)) {
      printFailure(err,
                   "cannot send '" + std::string(arg) + "': the instrument takes only 8.3 names such as SONG1.MID");
      return kExitUsageOrFile;
    }
    request.transmitFiles.emplace_back(arg);
  }
  request.pcFolder = fs::path(request.transmitFiles.front()).parent_path().string();

  FolderTreeSession device(globalOptions, err);
  if (const int status = device.open()) return status;
  TransferSession session(*options, err);
  if (const int status = device.connect()) return status;

  const Found folder = device.find(*destination, Lookup::ListedFolder, "look for");
  if (!folder.node) return folder.status;
  request.destinationPath = destination->wire();
  request.tree = &device.tree();
  JobEnvironment environment = session.environment(device);
  return session.exitStatus(runTransmitJob(request, environment));
}

const Command kPut{"put", kUsage.synopsis, "transmit PC files into a folder of the instrument", runPut};

}  // namespace

const Command& putCommand() { return kPut; }

}  // namespace quaverly::cli
