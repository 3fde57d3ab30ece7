#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "portlib/system/SystemCondition.h"

namespace tonelink::mm {

struct SystemCondition::Native {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

SystemCondition::SystemCondition() : native_(std::make_unique<Native>()) {}

SystemCondition::~SystemCondition() = default;

void SystemCondition::lock() { AcquireSRWLockExclusive(&native_->lock); }

void SystemCondition::unlock() { ReleaseSRWLockExclusive(&native_->lock); }

void SystemCondition::wakeOne() { WakeConditionVariable(&native_->condition); }

void SystemCondition::wait(std::uint32_t milliseconds) {
  SleepConditionVariableSRW(&native_->condition, &native_->lock, milliseconds, 0);
}

std::uint64_t SystemCondition::now() { return GetTickCount64(); }

}  // namespace tonelink::mm
