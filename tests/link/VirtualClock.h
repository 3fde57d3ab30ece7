// A clock for the link that a test drives: time stands still while the link works and
// jumps, whenever the link waits or sleeps, straight to the moment it waits for or to
// the next reply a test has scheduled, whichever comes first. A limit of two minutes
// then takes microseconds of real time, and a reply scheduled one millisecond after
// a limit arrives one millisecond after it however busy the machine is.
//
// Scheduled replies are delivered through the FakePortLibrary, on the thread that
// waits, so they appear in its log like any other. Every sleep of the link is logged
// there as a Paused event. Only the link's own calls move the time: use it with a
// scripted FakePortLibrary, not with the virtual instrument, which keeps real time.
#pragma once

#include <map>
#include <mutex>

#include "app/protocol/LinkClock.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {

class VirtualClock final : public protocol::LinkClock {
 public:
  // Installs itself as the process's link clock, until it is destroyed.
  explicit VirtualClock(FakePortLibrary& ports);
  ~VirtualClock();
  VirtualClock(const VirtualClock&) = delete;
  VirtualClock& operator=(const VirtualClock&) = delete;

  TimePoint now() override;
  void sleepFor(milliseconds duration) override;
  void waitForMessage(protocol::ReceiveQueue& queue, TimePoint deadline) override;

  // `message` reaches the link `delay` after now; with no delay it is delivered at
  // once, before this returns (a reply already there when the send returns).
  void deliverAfter(milliseconds delay, Bytes message);
  // Scheduled messages not delivered yet.
  std::size_t pending();
  // Virtual time since the clock was made, or from it to `at`.
  Clock::duration elapsed();
  Clock::duration since(TimePoint at) const { return at - origin_; }

  // How far a wait moves the time when it finds its deadline already passed: a wait
  // always takes a moment, as a real one does, so that a loop that polls past its
  // limit sees the limit exceeded.
  static constexpr std::chrono::microseconds kTick{1};
  // Virtual time after which a wait fails the test: a limit that never ends.
  static constexpr std::chrono::hours kHorizon{1};

 private:
  // Moves the time to `target`, delivering on the way every message due by then.
  void advanceTo(TimePoint target);

  FakePortLibrary& ports_;
  const TimePoint origin_;
  std::mutex mutex_;
  TimePoint now_;
  std::multimap<TimePoint, Bytes> scheduled_;
};

}  // namespace quaverly::linktest
