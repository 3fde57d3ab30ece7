// The application's side of the exchange with the instrument: one request at a time,
// its reply judged by the handler of the pending kind, with the result codes every
// request returns. The receive queue is fed by the port library's input thread
// through linkReceive.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "app/protocol/LinkClock.h"
#include "app/protocol/PortLibraryBinding.h"
#include "app/protocol/ReceiveQueue.h"

namespace quaverly::protocol {

enum LinkResult : int {
  kLinkSuccess = 0,
  kLinkRefused = 1,   // refused or failed: a negative reply, an error, a cancel
  kLinkNotSent = 2,   // the request could not be sent
  kLinkTimedOut = 3,  // no ending reply within the time limit
};

// Which request waits for its reply.
enum class PendingKind : int {
  None = 0,
  Identify = 1,
  RemoteCheck = 2,
  MakeFolder = 3,
  DeleteFile = 4,
  Rename = 5,
  DeleteFolder = 6,
  FindFirst = 7,
  FindNext = 8,
  FreeSpace = 9,
  FileRequest = 10,
  FileHeaderSent = 11,
  SendingBlocks = 12,
  ReceivingBlocks = 13,
  EndOfDataSent = 14,
};

// The state of the one request in progress. Used by one requesting thread at a time.
struct LinkState {
  std::uint8_t deviceNumber = 0;
  PendingKind pendingKind = PendingKind::None;
  bool timedOut = false;
  bool replyArrived = false;
  bool positive = false;
  bool errorReply = false;
  bool waitRequested = false;
  bool readyReceived = false;
  std::string replyName;  // code page 932 bytes
  std::uint32_t replyValue = 0;
  std::uint8_t replyAttributes = 0;
  std::uint8_t expectedCounter = 0;
  // Where received file data goes; a block that would run past its end fails.
  std::span<std::uint8_t> receiveBuffer;
  std::uint8_t lastBlockBytes = 0;
  std::uint32_t receivedBytes = 0;
};

class Link {
 public:
  using Clock = std::chrono::steady_clock;

  // The process-wide link, the one linkReceive feeds.
  static Link& instance();

  void bind(const InputFunctionTable* input, const OutputFunctionTable* output);
  const InputFunctionTable* input() const { return input_; }
  const OutputFunctionTable* output() const { return output_; }

  LinkState& state() { return state_; }
  ReceiveQueue& queue() { return queue_; }

  // Prepares the state for a new request of `kind`.
  void beginRequest(PendingKind kind);
  // Sends a built message with the library's dump. While the library has no free
  // send slot it tries again, for a few seconds at most. kLinkSuccess, or
  // kLinkNotSent when the library reports a failure or the slots stay busy.
  LinkResult send(std::span<const std::uint8_t> message);
  // Takes at most one message from the queue and runs the pending kind's handler on
  // it. False when the queue was empty.
  bool processOne();
  void resetQueue();
  // The clock every limit and pause of the link is measured on; null restores the
  // system's clock. Set while no request is in progress.
  void setClock(LinkClock* clock) { clock_.store(clock ? clock : &steadyLinkClock()); }
  LinkClock& clock() const { return *clock_.load(); }
  Clock::time_point now() const { return clock().now(); }
  void sleepFor(std::chrono::milliseconds duration) const { clock().sleepFor(duration); }
  // Waits for something to process, until `deadline` at the latest.
  void waitForMessage(Clock::time_point deadline) { clock().waitForMessage(queue_, deadline); }

  // The common wait for an ending reply: kLinkSuccess when it was positive,
  // kLinkRefused when not, kLinkTimedOut (timedOut set) when more than `limit` passed.
  LinkResult awaitReply(std::chrono::milliseconds limit);

  // Every message in and out goes to the observer, when one is set (for tracing).
  using Observer = void (*)(bool outgoing, std::span<const std::uint8_t> bytes, void* context);
  void setObserver(Observer observer, void* context);

 private:
  void handle(const ReceivedMessage& message);
  void handleBlock(std::span<const std::uint8_t> message);

  const InputFunctionTable* input_ = nullptr;
  const OutputFunctionTable* output_ = nullptr;
  LinkState state_;
  ReceiveQueue queue_;
  std::atomic<LinkClock*> clock_{&steadyLinkClock()};
  std::atomic<Observer> observer_{nullptr};
  std::atomic<void*> observerContext_{nullptr};
};

// The ReceiveCallback handed to the port library: copies the bytes into the queue of
// the process-wide link.
extern "C" void linkReceive(const unsigned char* bytes, int length);

}  // namespace quaverly::protocol
