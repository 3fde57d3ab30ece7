#include "app/protocol/ReceiveQueue.h"

#include <algorithm>
#include <cstring>

namespace quaverly::protocol {

namespace {
constexpr std::uint8_t kTimingClock = 0xF8;
constexpr std::uint8_t kActiveSensing = 0xFE;
}  // namespace

void ReceiveQueue::receive(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return;
  if (bytes.size() == 1 && (bytes[0] == kTimingClock || bytes[0] == kActiveSensing)) return;
  std::lock_guard writer(writerMutex_);
  const std::uint32_t w = write_.load(std::memory_order_relaxed);
  if (bytes[0] == 0xF0) {
    // A new message (one left open before it is abandoned in place); it is dropped
    // whole when the queue is full.
    open_ = (w + 1) % kSlots != read_.load(std::memory_order_acquire);
    if (open_) {
      slots_[w].length = 0;
      slots_[w].overlong = false;
    }
  }
  if (open_) {
    Slot& slot = slots_[w];
    const std::size_t room = kSlotBytes - slot.length;
    const std::size_t n = std::min(room, bytes.size());
    std::memcpy(slot.bytes.data() + slot.length, bytes.data(), n);
    slot.length = static_cast<std::uint8_t>(slot.length + n);
    if (n < bytes.size()) slot.overlong = true;
  }
  if (bytes.back() == 0xF7) {
    if (open_) {
      write_.store((w + 1) % kSlots, std::memory_order_release);
      { std::lock_guard lock(wakeMutex_); }
      arrived_.notify_all();
    }
    open_ = false;
  }
}

bool ReceiveQueue::take(ReceivedMessage& message) {
  const std::uint32_t r = read_.load(std::memory_order_relaxed);
  if (r == write_.load(std::memory_order_acquire)) return false;
  const Slot& slot = slots_[r];
  message.bytes = slot.bytes;
  message.length = slot.length;
  message.overlong = slot.overlong;
  read_.store((r + 1) % kSlots, std::memory_order_release);
  return true;
}

void ReceiveQueue::reset() {
  std::lock_guard writer(writerMutex_);
  open_ = false;
  write_.store(0, std::memory_order_release);
  read_.store(0, std::memory_order_release);
}

void ReceiveQueue::waitForMessage(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(wakeMutex_);
  arrived_.wait_until(lock, deadline, [this] { return !empty(); });
}

}  // namespace quaverly::protocol
