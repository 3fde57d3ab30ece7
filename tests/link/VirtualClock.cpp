#include "tests/link/VirtualClock.h"

#include <algorithm>
#include <stdexcept>

namespace quaverly::linktest {

VirtualClock::VirtualClock(FakePortLibrary& ports) : ports_(ports), origin_(Clock::now()), now_(origin_) {
  protocol::Link::instance().setClock(this);
}

VirtualClock::~VirtualClock() { protocol::Link::instance().setClock(nullptr); }

VirtualClock::TimePoint VirtualClock::now() {
  std::lock_guard lock(mutex_);
  return now_;
}

Clock::duration VirtualClock::elapsed() { return now() - origin_; }

std::size_t VirtualClock::pending() {
  std::lock_guard lock(mutex_);
  return scheduled_.size();
}

void VirtualClock::deliverAfter(milliseconds delay, Bytes message) {
  if (delay <= milliseconds(0)) {
    ports_.deliver(message);
    return;
  }
  std::lock_guard lock(mutex_);
  scheduled_.emplace(now_ + delay, std::move(message));
}

void VirtualClock::sleepFor(milliseconds duration) {
  ports_.record(PortEvent::Kind::Paused, {}, {}, duration);
  advanceTo(now() + std::max(duration, milliseconds(0)));
}

void VirtualClock::waitForMessage(protocol::ReceiveQueue& queue, TimePoint deadline) {
  if (!queue.empty()) return;
  TimePoint target;
  {
    std::lock_guard lock(mutex_);
    target = std::max(deadline, now_ + kTick);
    // A scheduled message ends the wait when it comes first.
    if (!scheduled_.empty() && scheduled_.begin()->first < target) target = std::max(scheduled_.begin()->first, now_);
  }
  advanceTo(target);
}

void VirtualClock::advanceTo(TimePoint target) {
  if (target - origin_ > kHorizon) {
    throw std::runtime_error("the link waited past the virtual clock's horizon: a limit that never ends");
  }
  for (;;) {
    Bytes message;
    {
      std::lock_guard lock(mutex_);
      const auto first = scheduled_.begin();
      if (first == scheduled_.end() || first->first > target) {
        now_ = std::max(now_, target);
        return;
      }
      now_ = std::max(now_, first->first);
      message = std::move(first->second);
      scheduled_.erase(first);
    }
    // Outside the lock: the port library's log reads the time.
    ports_.deliver(message);
  }
}

}  // namespace quaverly::linktest
