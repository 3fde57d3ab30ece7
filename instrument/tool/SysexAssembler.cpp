#include "instrument/tool/SysexAssembler.h"

#include <algorithm>
#include <utility>

namespace quaverly::instrument::tool {

namespace {

constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kEnd = 0xF7;
// Real-time messages (clock, active sensing, ...) may appear anywhere, even inside a
// SysEx, without ending it.
constexpr std::uint8_t kFirstRealTime = 0xF8;

}  // namespace

SysexAssembler::SysexAssembler(Sink sink, std::size_t maxMessageBytes)
    : sink_(std::move(sink)), maxBytes_(std::max<std::size_t>(maxMessageBytes, 2)) {
  buffer_.reserve(maxBytes_);
}

void SysexAssembler::abandon() {
  if (state_ == State::InMessage) ++dropped_;
  buffer_.clear();
  state_ = State::Idle;
}

void SysexAssembler::feed(std::span<const std::uint8_t> bytes) {
  // A message that comes whole keeps every byte, bit 7 or not: the PC's texts are code
  // page 932 and travel as they are.
  const bool whole = state_ == State::Idle && bytes.size() >= 2 && bytes.size() <= maxBytes_ &&
                     bytes.front() == kStart && bytes.back() == kEnd &&
                     std::none_of(bytes.begin() + 1, bytes.end() - 1, [](std::uint8_t b) { return b == kStart || b == kEnd; });
  if (whole) {
    buffer_.assign(bytes.begin(), bytes.end());
    sink_(buffer_);
    buffer_.clear();
    return;
  }
  for (const std::uint8_t b : bytes) {
    if (b >= kFirstRealTime) continue;
    if (b == kStart) {
      abandon();
      buffer_.push_back(b);
      state_ = State::InMessage;
      continue;
    }
    if (b & 0x80) {
      // F7 closes the message; any other status byte cuts it short.
      if (b == kEnd && state_ == State::InMessage) {
        buffer_.push_back(b);
        state_ = State::Idle;
        sink_(buffer_);
        buffer_.clear();
      } else {
        abandon();
      }
      continue;
    }
    if (state_ != State::InMessage) continue;  // data outside a SysEx means nothing here
    // Room must remain for the closing F7.
    if (buffer_.size() + 1 >= maxBytes_) {
      ++dropped_;
      buffer_.clear();
      state_ = State::Discarding;
      continue;
    }
    buffer_.push_back(b);
  }
}

}  // namespace quaverly::instrument::tool
