// The connection check before every command that talks to the instrument: open both
// ports, find the device number the instrument answers on, and put it into the mode
// that allows data transfer; and the disconnect that undoes it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

#include "app/protocol/Link.h"

namespace quaverly::protocol {

// What the check needs from the program around it: a wait window that shows a text,
// lets the user interface process its events, and closes.
class ConnectionUi {
 public:
  virtual void showWait(std::string_view text) = 0;
  virtual void pump() = 0;
  virtual void closeWait() = 0;

 protected:
  ~ConnectionUi() = default;
};

struct ConnectionTimings {
  std::chrono::milliseconds settle{1000};        // before and after starting the input
  std::chrono::milliseconds identifyLimit{1000};  // per candidate device number
  std::chrono::milliseconds remoteModeDelay{500};
  std::chrono::milliseconds remoteCheckLimit{2000};
};

// The device numbers an instrument may answer on: 0 to 15.
inline constexpr std::uint8_t kDeviceNumbers = 16;

// Opens the input (with its thread delivering into the link) and the output on the
// devices the library has selected; false, with both closed, when either fails.
bool openLinkPorts(Link& link);
// Closes both ports.
void closeLinkPorts(Link& link);

// Non-zero when the instrument is connected and in transfer mode, with both ports
// open and started; 0 otherwise, after the user has been told why (messages 1, 3, 4).
int linkConnect(Link& link, ConnectionUi& ui, const ConnectionTimings& timings = {});
// Takes the instrument out of the transfer mode and closes both ports. Returns 1.
int linkDisconnect(Link& link);

}  // namespace quaverly::protocol
