// The lock and condition that a thread's message queue waits on. On Windows these are
// the system's own SRW lock and condition variable, not the C++ run-time's: the
// run-time's first timed wait looks a system function up, which takes the loader lock,
// and the library's input thread waits here from its first moments. An unload that
// came then (holding that lock, waiting for the thread) would wait for ever.
// Elsewhere they are the standard library's.
#pragma once

#include <cstdint>
#include <memory>

namespace tonelink::mm {

class SystemCondition {
 public:
  SystemCondition();
  ~SystemCondition();
  SystemCondition(const SystemCondition&) = delete;
  SystemCondition& operator=(const SystemCondition&) = delete;

  void lock();
  void unlock();
  void wakeOne();
  // With the lock held: releases it, waits for a wake-up or `milliseconds`, and takes
  // it again. May also return without either.
  void wait(std::uint32_t milliseconds);
  // A steady count of milliseconds.
  static std::uint64_t now();

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace tonelink::mm
