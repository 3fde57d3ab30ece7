// The link's time. Every time limit, pause and settling delay of the link reads the
// time and waits through this one interface instead of the system clock, so that a
// test can run the link on a clock it drives itself: a two-minute limit is then
// checked to the millisecond, from both sides, without waiting two minutes and
// without depending on how fast the machine is. The program always uses
// steadyLinkClock().
#pragma once

#include <chrono>

#include "app/protocol/ReceiveQueue.h"

namespace quaverly::protocol {

class LinkClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual TimePoint now() = 0;
  // Blocks the calling thread for `duration`.
  virtual void sleepFor(std::chrono::milliseconds duration) = 0;
  // Blocks until `queue` holds a message or `deadline` has passed.
  virtual void waitForMessage(ReceiveQueue& queue, TimePoint deadline) = 0;

 protected:
  ~LinkClock() = default;
};

// The system's monotonic clock, with real sleeps and waits.
LinkClock& steadyLinkClock();

}  // namespace quaverly::protocol
