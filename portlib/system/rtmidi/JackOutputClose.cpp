#include "portlib/system/rtmidi/JackOutputClose.h"

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <thread>

namespace tonelink::jack {

namespace {

// Many JACK periods: ample for a process cycle under way to end, even when the machine
// is busy.
constexpr auto kCycleDrain = std::chrono::milliseconds(100);

}  // namespace

void closeRtMidiOutput(RtMidiOut& out) noexcept {
  try {
    out.closePort();
  } catch (...) {
  }
  std::this_thread::sleep_for(kCycleDrain);
}

}  // namespace tonelink::jack
