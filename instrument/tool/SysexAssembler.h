// Reassembles System Exclusive messages from the pieces a MIDI API delivers. Some
// APIs hand over a long SysEx in several chunks (F0 ... / ... / ... F7); the virtual
// instrument wants each message whole. The bytes come from outside the program, so
// every message is bounded and anything that does not form a clean F0 ... F7 message
// is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace quaverly::instrument::tool {

class SysexAssembler {
 public:
  using Message = std::span<const std::uint8_t>;
  // Called with each complete message; the bytes are valid only during the call.
  using Sink = std::function<void(Message)>;

  // The largest message handed on, F0 and F7 included. The longest message of the
  // protocol is a bulk data block of 251 bytes or a command with two paths, so the
  // default leaves ample room without letting a stream of junk grow without end.
  static constexpr std::size_t kDefaultMaxMessageBytes = 4096;

  explicit SysexAssembler(Sink sink, std::size_t maxMessageBytes = kDefaultMaxMessageBytes);

  // Takes the next piece of input, in the order it arrived.
  void feed(std::span<const std::uint8_t> bytes);

  // Messages dropped: too long, cut short by another status byte, or begun again by
  // a new F0 before their F7.
  std::uint64_t droppedMessages() const { return dropped_; }

 private:
  enum class State { Idle, InMessage, Discarding };

  void abandon();

  Sink sink_;
  std::size_t maxBytes_;
  State state_ = State::Idle;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t dropped_ = 0;
};

}  // namespace quaverly::instrument::tool
