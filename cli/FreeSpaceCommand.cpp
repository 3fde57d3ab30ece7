#include "cli/FreeSpaceCommand.h"

#include "app/protocol/FileCommands.h"
#include "cli/DeviceSession.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr std::string_view kSynopsis = "df";

int runFreeSpace(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
                 std::ostream& err) {
  if (asksForHelp(args)) {
    printDeviceCommandHelp(out, kSynopsis,
                           "Prints the instrument's free memory: \"BYTES bytes free (KB KB)\", the kilobytes\n"
                           "rounded up.\n");
    return kExitSuccess;
  }
  if (!args.empty()) {
    printFailure(err, "df takes no arguments");
    return kExitUsageOrFile;
  }
  DeviceSession session(options, err);
  if (const int status = session.open()) return status;
  if (const int status = session.connect()) return status;

  std::uint32_t freeBytes = 0;
  const protocol::LinkResult result = protocol::freeSpace(session.link(), freeBytes);
  session.disconnect();
  if (result != protocol::kLinkSuccess) {
    printFailure(err, "cannot read the free memory: " + failureText(result));
    return exitStatusOf(result);
  }
  const std::uint64_t kilobytes = (std::uint64_t{freeBytes} + 1023) / 1024;
  out << freeBytes << " bytes free (" << kilobytes << " KB)\n";
  return kExitSuccess;
}

const Command kFreeSpace{"df", kSynopsis, "print the instrument's free memory", runFreeSpace};

}  // namespace

const Command& freeSpaceCommand() { return kFreeSpace; }

}  // namespace quaverly::cli
