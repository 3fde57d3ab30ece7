// A record of every message the instrument received and sent, with the time since
// the instrument started.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quaverly::instrument {

struct TraceEntry {
  enum class Direction { In, Out };
  std::chrono::microseconds time;
  Direction direction;
  std::vector<std::uint8_t> bytes;
};

// "  12.345 in  F0 43 50 00 00 00 01 F7 (IdentifyRequest)"
std::string formatTraceEntry(const TraceEntry& entry);

class Trace {
 public:
  using Listener = std::function<void(const TraceEntry&)>;
  // The most entries kept: an instrument left running keeps its latest messages
  // (a few megabytes' worth), not every message since it started.
  static constexpr std::size_t kDefaultCapacity = 20000;

  explicit Trace(std::size_t capacity = kDefaultCapacity);
  void setListener(Listener listener);
  void record(TraceEntry::Direction direction, std::vector<std::uint8_t> bytes);
  // The kept entries, oldest first.
  std::vector<TraceEntry> entries() const;

 private:
  const std::chrono::steady_clock::time_point start_;
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<TraceEntry> entries_;
  Listener listener_;
};

}  // namespace quaverly::instrument
