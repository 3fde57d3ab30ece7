#include "cli/PortsCommand.h"

#include "cli/DeviceCommand.h"
#include "cli/JsonText.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

void printDevices(std::ostream& out, std::string_view heading, const std::vector<std::string>& names,
                  std::uint32_t libraryCount, std::uint32_t selected) {
  out << heading << "\n";
  for (std::uint32_t i = 0; i < libraryCount; ++i) {
    out << (i == selected ? "* " : "  ") << i << "  "
        << (i < names.size() ? printable(names[i]) : std::string("(name not available)")) << "\n";
  }
}

// The devices of one direction as a JSON array of {"index", "name", "current"}.
void printJsonDevices(std::ostream& out, const std::vector<std::string>& names, std::uint32_t libraryCount,
                      std::uint32_t selected) {
  out << "[";
  for (std::uint32_t i = 0; i < libraryCount; ++i) {
    out << (i == 0 ? "\n    " : ",\n    ") << "{\"index\": " << i << ", \"name\": "
        << (i < names.size() ? jsonString(printable(names[i])) : std::string("null"))
        << ", \"current\": " << (i == selected ? "true" : "false") << "}";
  }
  out << (libraryCount == 0 ? "]" : "\n  ]");
}

constexpr DeviceCommandUsage kUsage{
    .synopsis = "ports",
    .description =
        "Lists the MIDI input and output devices with the indices that --in and --out take.\n"
        "'*' marks the device the other commands would use. The port library gives no names;\n"
        "quaverly-cli reads them through the same MIDI backends, in the same order, and --in\n"
        "and --out match parts of these names. With --json: {\"inputs\": [...], \"outputs\": [...]},\n"
        "each device {\"index\", \"name\", \"current\"}.\n",
    .mostArguments = 0,
};

int runPorts(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
             std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  DeviceSession session(options, err);
  if (const int status = session.open()) return status;

  const DeviceNames& names = session.deviceNames();
  const auto& binding = session.binding();
  // The indices are the library's; the names come from this process's own list.
  const std::uint32_t inputs = libraryDeviceCount(binding.input, static_cast<std::uint32_t>(names.inputs.size()));
  const std::uint32_t outputs = libraryDeviceCount(binding.output, static_cast<std::uint32_t>(names.outputs.size()));
  const std::uint32_t currentInput = binding.input.getDeviceId(binding.input.direction);
  const std::uint32_t currentOutput = binding.output.getDeviceId(binding.output.direction);
  if (options.json) {
    out << "{\"inputs\": ";
    printJsonDevices(out, names.inputs, inputs, currentInput);
    out << ",\n \"outputs\": ";
    printJsonDevices(out, names.outputs, outputs, currentOutput);
    out << "}\n";
  } else {
    printDevices(out, "Input devices (--in):", names.inputs, inputs, currentInput);
    printDevices(out, "Output devices (--out):", names.outputs, outputs, currentOutput);
  }
  if (inputs != names.inputs.size() || outputs != names.outputs.size()) {
    printFailure(err, "the MIDI devices changed while they were listed; the names may not match the indices");
    return kExitConnection;
  }
  return kExitSuccess;
}

const Command kPorts{"ports", kUsage.synopsis, "list the MIDI input and output devices with their indices", runPorts,
                     true};

}  // namespace

const Command& portsCommand() { return kPorts; }

}  // namespace quaverly::cli
