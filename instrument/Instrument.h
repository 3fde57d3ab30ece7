// The virtual instrument: the instrument's side of the SysEx file-transfer protocol
// over a file memory. It takes complete SysEx messages as they arrive from the PC and
// sends its own through a callback. Its timed behaviour (block streams, flow control,
// time-outs, injected delays, the wire model) runs on a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "instrument/FileMemory.h"
#include "instrument/InstrumentOptions.h"
#include "instrument/InstrumentProtocol.h"
#include "instrument/Trace.h"

namespace quaverly::instrument {

class Instrument final : private InstrumentHost {
 public:
  using Bytes = std::vector<std::uint8_t>;
  // Called on the instrument's thread with each complete message it sends.
  using Sender = std::function<void(std::span<const std::uint8_t>)>;

  Instrument(std::unique_ptr<FileMemory> memory, InstrumentOptions options, Sender sender);
  ~Instrument();
  Instrument(const Instrument&) = delete;
  Instrument& operator=(const Instrument&) = delete;

  // Hands over one complete message from the PC. Safe from any thread.
  void receive(std::span<const std::uint8_t> message);

  // Waits until every received message has been handled and every message that is
  // queued has been sent. False when that did not happen within the timeout.
  bool waitUntilIdle(std::chrono::milliseconds timeout);

  Trace& trace() { return trace_; }
  bool inTransferMode();

  // Runs `fn` on the file memory while the instrument handles nothing else.
  void withMemory(const std::function<void(FileMemory&)>& fn);

 private:
  using Clock = std::chrono::steady_clock;

  struct Inbound {
    Clock::time_point due;  // when the last byte has drained from the input buffer
    Bytes bytes;
    bool damaged;  // the wire model lost some of its bytes
  };
  struct Outbound {
    Clock::time_point due;
    Bytes bytes;
    std::uint64_t transfer;
  };

  // InstrumentHost, called with stateMutex_ held on the instrument's thread.
  void send(Bytes message, Milliseconds delay, std::uint64_t transfer) override;
  void withdraw(std::uint64_t transfer) override;
  void armSilenceTimer(bool armed) override;

  void run();
  Clock::duration scaled(Milliseconds ms) const;
  Clock::duration wireTime(std::size_t bytes) const;

  const InstrumentOptions options_;
  const Sender sender_;
  Trace trace_;

  std::mutex stateMutex_;  // held while a message or a time-out is handled
  std::unique_ptr<FileMemory> memory_;
  InstrumentProtocol protocol_;

  std::mutex queueMutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Inbound> inbound_;
  std::deque<Outbound> outbound_;
  bool working_ = false;
  bool stopping_ = false;
  bool silenceArmed_ = false;
  Clock::time_point lastActivity_;    // last message in or out
  Clock::time_point inputDrainedAt_;  // wire model: when the input buffer is empty
  Clock::time_point lineFreeAt_;      // wire model: when the output line is free
  Clock::time_point lastDue_;
  std::uint64_t queuedCount_ = 0;  // messages it decided to send, for dropAnswer

  std::thread thread_;  // last: starts after everything above exists
};

}  // namespace quaverly::instrument
