#include "app/protocol/LinkClock.h"

#include <thread>

namespace quaverly::protocol {

namespace {

class SteadyLinkClock final : public LinkClock {
 public:
  TimePoint now() override { return std::chrono::steady_clock::now(); }
  void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
  void waitForMessage(ReceiveQueue& queue, TimePoint deadline) override { queue.waitForMessage(deadline); }
};

}  // namespace

LinkClock& steadyLinkClock() {
  static SteadyLinkClock clock;
  return clock;
}

}  // namespace quaverly::protocol
