#include "cli/ProbeCommand.h"

#include <cstdio>
#include <vector>

#include "app/protocol/Probe.h"
#include "app/settings/AppSettings.h"
#include "cli/DeviceCommand.h"
#include "cli/JsonText.h"
#include "cli/PortPairs.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr DeviceCommandUsage kUsage{
    .synopsis = "probe [--store]",
    .description =
        "Finds the instrument: for every pair of an input and an output device (pairs with\n"
        "the same name first) asks device numbers 0 to 15 who they are, and prints each pair\n"
        "and device number that answers, with the two bytes of its reply. Only that question\n"
        "is sent: nothing on the instrument changes. --in and --out limit the search to that\n"
        "device. With --json: {\"answers\": [{\"input\": {\"index\", \"name\"}, \"output\": {...},\n"
        "\"deviceNumber\", \"reply\": [A, B]}], \"stored\"}.\n",
    .optionHelp = "  --store    store the first pair found as Quaverly's devices (as MIDI Port Setup)\n",
    .mostArguments = 1,
};

struct Found {
  PortPair pair;
  protocol::IdentifyAnswer answer;
};

std::string deviceName(const std::vector<std::string>& names, std::uint32_t index) {
  return index < names.size() ? printable(names[index]) : std::string("(name not available)");
}

std::string hexByte(std::uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

int runProbe(std::span<const std::string_view> args, const GlobalOptions& options, std::ostream& out,
             std::ostream& err) {
  if (const auto done = handleUsage(kUsage, args, out, err)) return *done;
  const bool store = !args.empty();
  if (store && args[0] != "--store") {
    printFailure(err, "unknown option '" + std::string(args[0]) + "' (quaverly-cli probe --help)");
    return kExitUsageOrFile;
  }
  DeviceSession session(options, err);
  if (const int status = session.open()) return status;

  const DeviceNames& names = session.deviceNames();
  const protocol::PortLibraryBinding& binding = session.binding();
  const std::uint32_t inputs = libraryDeviceCount(binding.input, static_cast<std::uint32_t>(names.inputs.size()));
  const std::uint32_t outputs = libraryDeviceCount(binding.output, static_cast<std::uint32_t>(names.outputs.size()));
  std::vector<PortPair> pairs = portPairsToProbe(names.inputs, names.outputs, inputs, outputs);
  // --in and --out narrow the search to the device they chose.
  const std::uint32_t chosenInput = binding.input.getDeviceId(binding.input.direction);
  const std::uint32_t chosenOutput = binding.output.getDeviceId(binding.output.direction);
  std::erase_if(pairs, [&](const PortPair& pair) {
    return (options.inputDevice && pair.first != chosenInput) || (options.outputDevice && pair.second != chosenOutput);
  });

  std::vector<Found> found;
  for (const PortPair& pair : pairs) {
    binding.input.setDeviceId(binding.input.direction, pair.first);
    binding.output.setDeviceId(binding.output.direction, pair.second);
    const auto answers = protocol::probeDeviceNumbers(session.link());
    if (!answers) {
      err << "quaverly-cli: input " << pair.first << " and output " << pair.second << " could not be opened; skipped\n";
      continue;
    }
    for (const protocol::IdentifyAnswer& answer : *answers) found.push_back({pair, answer});
  }

  bool stored = false;
  if (store && !found.empty()) {
    const std::unique_ptr<UserSettingsStore> settings = openUserSettingsStore();
    stored = writeDeviceIds(*settings, {found.front().pair.first, found.front().pair.second});
  }
  if (options.json) {
    out << "{\"answers\": [";
    for (std::size_t i = 0; i < found.size(); ++i) {
      const Found& f = found[i];
      out << (i == 0 ? "\n  " : ",\n  ") << "{\"input\": {\"index\": " << f.pair.first
          << ", \"name\": " << jsonString(deviceName(names.inputs, f.pair.first))
          << "}, \"output\": {\"index\": " << f.pair.second
          << ", \"name\": " << jsonString(deviceName(names.outputs, f.pair.second))
          << "}, \"deviceNumber\": " << int{f.answer.deviceNumber} << ", \"reply\": [" << int{f.answer.a} << ", "
          << int{f.answer.b} << "]}";
    }
    out << (found.empty() ? "]" : "\n]") << ", \"stored\": " << (stored ? "true" : "false") << "}\n";
  } else {
    for (const Found& f : found) {
      out << "input " << f.pair.first << " (" << deviceName(names.inputs, f.pair.first) << "), output " << f.pair.second
          << " (" << deviceName(names.outputs, f.pair.second) << "): device number " << int{f.answer.deviceNumber}
          << ", reply " << hexByte(f.answer.a) << ' ' << hexByte(f.answer.b) << "\n";
    }
    if (stored) {
      out << "stored as Quaverly's devices: input " << found.front().pair.first << ", output "
          << found.front().pair.second << "\n";
    }
  }
  if (found.empty()) {
    printFailure(err, "no instrument answered on any pair of devices");
    return kExitConnection;
  }
  if (store && !stored) {
    printFailure(err, "the devices could not be stored");
    return kExitUsageOrFile;
  }
  return kExitSuccess;
}

const Command kProbe{"probe", kUsage.synopsis, "find the ports and device number the instrument answers on", runProbe,
                     true};

}  // namespace

const Command& probeCommand() { return kProbe; }

}  // namespace quaverly::cli
