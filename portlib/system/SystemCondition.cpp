#include "portlib/system/SystemCondition.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tonelink::mm {

struct SystemCondition::Native {
  std::mutex mutex;
  std::condition_variable condition;
};

SystemCondition::SystemCondition() : native_(std::make_unique<Native>()) {}

SystemCondition::~SystemCondition() = default;

void SystemCondition::lock() { native_->mutex.lock(); }

void SystemCondition::unlock() { native_->mutex.unlock(); }

void SystemCondition::wakeOne() { native_->condition.notify_one(); }

void SystemCondition::wait(std::uint32_t milliseconds) {
  std::unique_lock held(native_->mutex, std::adopt_lock);
  native_->condition.wait_for(held, std::chrono::milliseconds(milliseconds));
  held.release();  // the caller still holds it
}

std::uint64_t SystemCondition::now() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

}  // namespace tonelink::mm
