// The queue that carries received messages from the port library's input thread to
// the thread that waits for a reply. One writer (the input thread), one reader; the
// indices are atomics, and a slot is filled completely before the write index moves
// past it. A waiting reader sleeps until a message arrives.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

namespace quaverly::protocol {

// One received message as the reader takes it.
struct ReceivedMessage {
  std::array<std::uint8_t, 256> bytes{};
  std::uint8_t length = 0;
  // The message was longer than a slot: only its first 255 bytes were kept, and it
  // counts as invalid wherever it is judged.
  bool overlong = false;

  std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
};

class ReceiveQueue {
 public:
  static constexpr std::size_t kSlots = 100;
  static constexpr std::size_t kSlotBytes = 255;

  // Adds received bytes: a message beginning with F0 opens a slot, other bytes
  // continue the open one, and F7 at the end closes it. Timing clock and active
  // sensing are dropped, as are bytes with no message begun and a message that
  // finds the queue full. Runs on the input thread.
  void receive(std::span<const std::uint8_t> bytes);

  // Takes the oldest message; false when the queue is empty.
  bool take(ReceivedMessage& message);
  // Empties the queue, after any write in progress has finished; a message still
  // arriving is dropped. Called by the reading thread.
  void reset();
  // Waits until a message is there or the deadline has passed.
  void waitForMessage(std::chrono::steady_clock::time_point deadline);
  bool empty() const { return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire); }

 private:
  struct Slot {
    std::array<std::uint8_t, 256> bytes{};
    std::uint8_t length = 0;
    bool overlong = false;
  };

  std::array<Slot, kSlots> slots_{};
  std::atomic<std::uint32_t> write_{0};
  std::atomic<std::uint32_t> read_{0};
  // Held while the input thread adds bytes, and by a reset, so that a reset never
  // lands in the middle of a write.
  std::mutex writerMutex_;
  // Writer-side state: a message is open in the slot at the write index. Bytes that
  // come while none is open are dropped.
  bool open_ = false;

  std::mutex wakeMutex_;
  std::condition_variable arrived_;
};

}  // namespace quaverly::protocol
