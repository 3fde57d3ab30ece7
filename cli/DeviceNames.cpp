#include "cli/DeviceNames.h"

#include <charconv>

#include "portlib/system/DefaultBackends.h"
#include "portlib/system/MidiSystem.h"

namespace quaverly::cli {

namespace {

namespace mm = tonelink::mm;

// Installs the backends for as long as it lives.
class InstalledBackends {
 public:
  InstalledBackends() { mm::installMidiBackends(mm::defaultMidiBackends()); }
  ~InstalledBackends() { mm::installMidiBackends({}); }
  InstalledBackends(const InstalledBackends&) = delete;
  InstalledBackends& operator=(const InstalledBackends&) = delete;
};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = lowerAscii(c);
  return result;
}

// More indices than any system offers; probing stops there.
constexpr std::uint32_t kMaxProbedDevices = 4096;

}  // namespace

DeviceNames readDeviceNames() {
  const InstalledBackends installed;
  DeviceNames names;
  const mm::UINT inputs = mm::midiInGetNumDevs();
  for (mm::UINT id = 0; id < inputs; ++id) {
    mm::MIDIINCAPS caps;
    names.inputs.push_back(mm::midiInGetDevCaps(id, &caps) == mm::MMSYSERR_NOERROR ? caps.szPname : "");
  }
  const mm::UINT outputs = mm::midiOutGetNumDevs();
  for (mm::UINT id = 0; id < outputs; ++id) {
    mm::MIDIOUTCAPS caps;
    names.outputs.push_back(mm::midiOutGetDevCaps(id, &caps) == mm::MMSYSERR_NOERROR ? caps.szPname : "");
  }
  return names;
}

std::uint32_t libraryDeviceCount(const protocol::PortFunctionTable& table, std::uint32_t expected) {
  const std::uint32_t saved = table.getDeviceId(table.direction);
  // The library keeps its selection when it refuses an id. The selection it already
  // has was taken when it was made, so finding the id selected afterwards means the
  // id is below the count.
  const auto takes = [&](std::uint32_t id) {
    table.setDeviceId(table.direction, id);
    return table.getDeviceId(table.direction) == id;
  };
  std::uint32_t count = 0;
  if (expected > 0 && takes(expected - 1) && !takes(expected)) {
    count = expected;
  } else {
    // Every id below the count is taken and none above it: search for the boundary.
    std::uint32_t low = 0;                   // ids below `low` are taken
    std::uint32_t high = kMaxProbedDevices;  // ids from `high` on are not
    while (low < high) {
      const std::uint32_t middle = low + (high - low) / 2;
      if (takes(middle)) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    count = low;
  }
  table.setDeviceId(table.direction, saved);
  return count;
}

bool isDeviceIndex(std::string_view value) {
  if (value.empty()) return false;
  for (const char c : value) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

DeviceChoice chooseDevice(std::string_view value, const std::vector<std::string>& names, std::string_view direction) {
  const std::string quoted = "'" + std::string(value) + "'";
  if (value.empty()) return {std::nullopt, "an empty " + std::string(direction) + " device names no device"};
  if (isDeviceIndex(value)) {
    std::uint32_t index = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), index);
    if (error != std::errc() || end != value.data() + value.size()) {
      return {std::nullopt, "there is no " + std::string(direction) + " device " + quoted};
    }
    return {index, {}};
  }
  const std::string wanted = lowered(value);
  std::vector<std::uint32_t> found;
  for (std::uint32_t i = 0; i < names.size(); ++i) {
    const std::string name = lowered(names[i]);
    if (name == wanted) return {i, {}};
    if (name.find(wanted) != std::string::npos) found.push_back(i);
  }
  if (found.size() == 1) return {found.front(), {}};
  if (found.empty()) {
    return {std::nullopt,
            "no " + std::string(direction) + " device name contains " + quoted + " (quaverly-cli ports lists them)"};
  }
  std::string error =
      quoted + " is part of " + std::to_string(found.size()) + " " + std::string(direction) + " device names:";
  for (std::size_t i = 0; i < found.size(); ++i) {
    error += (i == 0 ? " " : ", ");
    error += std::to_string(found[i]) + " " + names[found[i]];
  }
  return {std::nullopt, error};
}

}  // namespace quaverly::cli
