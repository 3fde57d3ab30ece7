// The names of the MIDI devices, for `ports` and for choosing a device by name.
//
// Tonelink's sixteen entry points select devices by index and give no names. So
// quaverly-cli reads the names itself, through the same backends in the same order
// as the library (the real MIDI system, then the built-in virtual instrument); the
// library it loaded keeps its own, separate copy of them. Both lists are read at
// nearly the same moment, and the count is checked against the library's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/protocol/PortLibraryBinding.h"

namespace quaverly::cli {

struct DeviceNames {
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
};

// Reads both lists of device names. The backends live only during the call.
DeviceNames readDeviceNames();

// How many devices the loaded library offers in the table's direction, found by
// asking it to select device ids: an id is taken only when it is below the count.
// `expected` is tried first (two questions); the library's selection is restored.
std::uint32_t libraryDeviceCount(const protocol::PortFunctionTable& table, std::uint32_t expected);

struct DeviceChoice {
  std::optional<std::uint32_t> index;
  std::string error;  // why not, when there is no index
};

// The device an --in or --out value names: a decimal index, or else a part of a
// device name compared without ASCII case. A value that equals one name whole wins
// over names that merely contain it; a part found in several names is refused.
// `direction` ("input", "output") words the error.
DeviceChoice chooseDevice(std::string_view value, const std::vector<std::string>& names, std::string_view direction);

// True when the value is a decimal index (digits only), which needs no names.
bool isDeviceIndex(std::string_view value);

}  // namespace quaverly::cli
