#include "cli/FreeSpaceCommand.h"

#include "app/protocol/FileCommands.h"
#include "cli/DeviceCommand.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "df",
    .description =
        "Prints the instrument's free memory: \"BYTES bytes free (KB KB)\", the kilobytes\n"
        "rounded up. With --json: {\"freeBytes\": BYTES, \"freeKilobytes\": KB}.\n",
    .mostArguments = 0,
};

int runFreeSpace(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
                 std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  DeviceSession session(options, err);
  if (const int status = session.start()) return status;

  std::uint32_t freeBytes = 0;
  const protocol::LinkResult result = protocol::freeSpace(session.link(), freeBytes);
  session.disconnect();
  if (result != protocol::kLinkSuccess) return reportFailure(err, "read the free memory", result);
  const std::uint64_t kilobytes = (std::uint64_t{freeBytes} + 1023) / 1024;
  if (options.json) {
    out << "{\"freeBytes\": " << freeBytes << ", \"freeKilobytes\": " << kilobytes << "}\n";
  } else {
    out << freeBytes << " bytes free (" << kilobytes << " KB)\n";
  }
  return kExitSuccess;
}

const Command kFreeSpace{"df", kUsage.synopsis, "print the instrument's free memory", runFreeSpace, true};

}  // namespace

const Command& freeSpaceCommand() { return kFreeSpace; }

}  // namespace quaverly::cli
