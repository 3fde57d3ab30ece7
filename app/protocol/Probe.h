// Finding the instrument: on the ports the library has selected, every device number
// is asked for its identity, and whoever answers is reported. Nothing else is sent,
// so the instrument's mode is left as it was.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/protocol/Link.h"

namespace quaverly::protocol {

// An instrument that answered: its device number and the two bytes of its reply.
struct IdentifyAnswer {
  std::uint8_t deviceNumber = 0;
  std::uint8_t a = 0;
  std::uint8_t b = 0;

  bool operator==(const IdentifyAnswer&) const = default;
};

struct ProbeTimings {
  std::chrono::milliseconds settle{200};        // after opening and after starting the input
  std::chrono::milliseconds answerLimit{150};  // per device number
};

// Opens both ports, asks device numbers 0 to 15 in turn, and closes the ports again.
// The answers in the order of the device numbers (a reply from another device number
// than the one asked is not taken); nothing when the ports cannot be opened.
std::optional<std::vector<IdentifyAnswer>> probeDeviceNumbers(Link& link, const ProbeTimings& timings = {});

}  // namespace quaverly::protocol
