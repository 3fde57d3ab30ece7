// A record of every message the instrument received and sent, with the time since
// the instrument started.
#pragma once

#include <chrono>
#include <cstdint>
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

  Trace();
  void setListener(Listener listener);
  void record(TraceEntry::Direction direction, std::vector<std::uint8_t> bytes);
  std::vector<TraceEntry> entries() const;

 private:
  const std::chrono::steady_clock::time_point start_;
  mutable std::mutex mutex_;
  std::vector<TraceEntry> entries_;
  Listener listener_;
};

}  // namespace quaverly::instrument
