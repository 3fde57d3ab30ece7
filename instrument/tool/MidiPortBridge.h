// A virtual MIDI input and output port, opened through RtMidi on the ALSA sequencer
// or on JACK, that carries whole SysEx messages for the virtual instrument.
//
// Incoming bytes arrive on the MIDI API's own thread (the JACK process thread runs
// with tight deadlines), so they are only reassembled and queued there; a thread of
// the bridge hands each complete message on. Outgoing messages are written from the
// caller's thread; a write that the MIDI system refuses for want of room is tried
// again for a moment instead of losing the message.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "instrument/tool/SysexAssembler.h"

class RtMidiIn;
class RtMidiOut;

namespace tonelink::jack {
class ServerWatch;
}

namespace quaverly::instrument::tool {

enum class MidiApi { Alsa, Jack };

std::string_view midiApiName(MidiApi api);

class MidiPortBridge {
 public:
  using Message = std::span<const std::uint8_t>;
  using Deliver = std::function<void(Message)>;
  // Problems worth telling the user about (RtMidi warnings, dropped input); called on
  // whichever thread met them.
  using Log = std::function<void(const std::string&)>;
  // Called once, on a thread of the MIDI library, when the MIDI system goes away
  // (the JACK server shut down or dropped us). Must be async-signal-safe in spirit:
  // do no more than raise a flag or a signal.
  using Lost = std::function<void()>;

  // Most complete messages that wait for delivery; more are dropped.
  static constexpr std::size_t kMaxQueuedMessages = 1024;

  struct Counters {
    std::uint64_t delivered = 0;
    std::uint64_t droppedInput = 0;  // malformed, too long, or the queue was full
    std::uint64_t failedSends = 0;   // given up after retrying
  };

  // Opens the two virtual ports, both named `portName`. Nothing, with `error` set,
  // when the MIDI system cannot be used.
  static std::unique_ptr<MidiPortBridge> open(MidiApi api, const std::string& portName, Log log, Lost lost,
                                              std::string& error);

  ~MidiPortBridge();
  MidiPortBridge(const MidiPortBridge&) = delete;
  MidiPortBridge& operator=(const MidiPortBridge&) = delete;

  MidiApi api() const { return api_; }
  // The full names under which other programs see the input (where the PC sends to)
  // and the output port (where the PC listens); empty when they could not be found.
  const std::vector<std::string>& inputPortNames() const { return inputNames_; }
  const std::vector<std::string>& outputPortNames() const { return outputNames_; }

  // Starts handing complete incoming messages to `deliver`, on the bridge's thread.
  // Messages that arrived before are delivered first.
  void start(Deliver deliver);

  // Stops delivering: when it returns, `deliver` is not running and will not be
  // called again; input that still arrives is dropped. Sends that are waiting for
  // room give up. The ports stay open until the bridge is destroyed.
  void stop();

  // Sends one complete message. Safe from any thread. Once the MIDI system has gone
  // away messages are dropped: RtMidi's JACK output would wait for ever, spinning,
  // for room that a dead server never makes.
  void send(Message message);

  Counters counters() const;

 private:
  MidiPortBridge(MidiApi api, Log log, Lost lost);

  static void onInput(double timeStamp, std::vector<unsigned char>* message, void* self);
  // An error RtMidi reports for the input object: while opening, it is kept to explain
  // the failure; later it is only reported.
  void inputError(bool fatal, const std::string& text);
  void enqueue(Message message);
  void deliverLoop();
  void log(const std::string& text);

  const MidiApi api_;
  const Log log_;
  const Lost lost_;
  std::atomic<bool> systemGone_{false};
  std::unique_ptr<tonelink::jack::ServerWatch> watch_;  // JACK only: notices when the server goes away
  std::vector<std::string> inputNames_;
  std::vector<std::string> outputNames_;

  // Input: the API's thread reassembles, the bridge's thread delivers.
  std::unique_ptr<RtMidiIn> in_;
  std::mutex inErrorMutex_;
  bool opening_ = true;          // guarded by inErrorMutex_
  bool inOpenFailed_ = false;    // guarded by inErrorMutex_
  std::string inOpenErrorText_;  // guarded by inErrorMutex_
  SysexAssembler assembler_;     // only on the API's input thread
  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<std::vector<std::uint8_t>> queue_;  // guarded by queueMutex_
  bool stopping_ = false;                        // guarded by queueMutex_
  std::thread deliverer_;
  Deliver deliver_;  // set before deliverer_ starts, read only by it

  // Output: one writer at a time.
  std::mutex outMutex_;
  std::unique_ptr<RtMidiOut> out_;
  bool outError_ = false;  // set by RtMidi's error callback during a call under outMutex_
  std::string outErrorText_;

  std::atomic<bool> giveUpSending_{false};
  std::atomic<std::uint64_t> delivered_{0};
  std::atomic<std::uint64_t> droppedQueue_{0};
  std::atomic<std::uint64_t> droppedAssembly_{0};
  std::atomic<std::uint64_t> failedSends_{0};
};

}  // namespace quaverly::instrument::tool
