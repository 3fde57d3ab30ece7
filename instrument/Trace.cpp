#include "instrument/Trace.h"

#include <algorithm>
#include <cstdio>

#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::instrument {

namespace {

// The catalogue name of a message, tried in table order; empty when none fits.
std::string_view nameOf(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i < protocol::kSysexIdCount; ++i) {
    const auto id = static_cast<protocol::SysexId>(i);
    if (protocol::matches(id, bytes)) return protocol::sysexName(id);
  }
  return {};
}

}  // namespace

std::string formatTraceEntry(const TraceEntry& entry) {
  char head[48];
  std::snprintf(head, sizeof head, "%10.3f %-3s", static_cast<double>(entry.time.count()) / 1000.0,
                entry.direction == TraceEntry::Direction::In ? "in" : "out");
  std::string line = head;
  for (std::uint8_t b : entry.bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02X", b);
    line += hex;
  }
  if (const auto name = nameOf(entry.bytes); !name.empty()) {
    line += " (";
    line += name;
    line += ")";
  }
  return line;
}

Trace::Trace(std::size_t capacity)
    : start_(std::chrono::steady_clock::now()), capacity_(std::max<std::size_t>(capacity, 1)) {}

void Trace::setListener(Listener listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void Trace::record(TraceEntry::Direction direction, std::vector<std::uint8_t> bytes) {
  // The time is taken under the lock, so that the times of entries recorded from
  // different threads rise in the order of the record.
  std::lock_guard lock(mutex_);
  const auto time = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_);
  if (entries_.size() == capacity_) entries_.pop_front();
  entries_.push_back({time, direction, std::move(bytes)});
  if (listener_) listener_(entries_.back());
}

std::vector<TraceEntry> Trace::entries() const {
  std::lock_guard lock(mutex_);
  return {entries_.begin(), entries_.end()};
}

}  // namespace quaverly::instrument
