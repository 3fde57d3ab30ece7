#include "instrument/tool/MidiPortBridge.h"

#include <RtMidi.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <set>
#include <utility>

#include "portlib/system/rtmidi/JackOutputClose.h"
#include "portlib/system/rtmidi/JackServerWatch.h"

namespace quaverly::instrument::tool {

namespace {

using Clock = std::chrono::steady_clock;

// How long a send keeps trying while the MIDI system refuses the message for want of
// room; anything longer than a moment means it is stuck.
constexpr auto kSendPatience = std::chrono::seconds(1);
constexpr auto kSendRetryPause = std::chrono::milliseconds(2);
// The JACK client that watches the server for the bridge.
constexpr const char* kJackWatchName = "Quaverly instrument watch";

RtMidi::Api rtMidiApi(MidiApi api) { return api == MidiApi::Jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA; }

// Names of the ports an RtMidi object lists that contain `name`.
template <typename Port>
std::set<std::string> portsNamed(Port& midi, const std::string& name) {
  std::set<std::string> found;
  const unsigned count = midi.getPortCount();
  for (unsigned i = 0; i < count; ++i) {
    std::string port = midi.getPortName(i);
    if (port.find(name) != std::string::npos) found.insert(std::move(port));
  }
  return found;
}

std::vector<std::string> added(const std::set<std::string>& before, const std::set<std::string>& after) {
  std::vector<std::string> names;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(names));
  return names;
}

}  // namespace

std::string_view midiApiName(MidiApi api) { return api == MidiApi::Jack ? "JACK" : "ALSA"; }

MidiPortBridge::MidiPortBridge(MidiApi api, Log log, Lost lost)
    : api_(api),
      log_(std::move(log)),
      lost_(std::move(lost)),
      assembler_([this](Message message) { enqueue(message); }) {}

std::unique_ptr<MidiPortBridge> MidiPortBridge::open(MidiApi api, const std::string& portName, Log log, Lost lost,
                                                     std::string& error) {
  std::unique_ptr<MidiPortBridge> bridge(new MidiPortBridge(api, std::move(log), std::move(lost)));
  const std::string where = std::string(midiApiName(api)) + ": ";
  if (api == MidiApi::Jack) {
    MidiPortBridge* b = bridge.get();
    // Whether a server answers is asked quietly; once it is known, libjack's errors are
    // printed.
    tonelink::jack::silenceMessages();
    bridge->watch_ = tonelink::jack::ServerWatch::open(kJackWatchName, [b] {
      b->systemGone_.store(true);
      if (b->lost_) b->lost_();
    });
    tonelink::jack::printErrors();
    if (!bridge->watch_) {
      error = where + "no JACK server is running";
      return nullptr;
    }
  }

  try {
    bridge->in_ = std::make_unique<RtMidiIn>(rtMidiApi(api), portName);
    bridge->in_->setErrorCallback(
        [](RtMidiError::Type type, const std::string& text, void* self) {
          if (type != RtMidiError::DEBUG_WARNING) {
            static_cast<MidiPortBridge*>(self)->inputError(type != RtMidiError::WARNING, text);
          }
        },
        bridge.get());
    std::lock_guard lock(bridge->outMutex_);
    bridge->out_ = std::make_unique<RtMidiOut>(rtMidiApi(api), portName);
    bridge->out_->setErrorCallback(
        [](RtMidiError::Type type, const std::string& text, void* self) {
          // Runs inside a call made with outMutex_ held.
          auto* b = static_cast<MidiPortBridge*>(self);
          if (type == RtMidiError::DEBUG_WARNING) return;
          b->outError_ = true;
          b->outErrorText_ = text;
        },
        bridge.get());
  } catch (const RtMidiError& e) {
    // Without a working MIDI system the constructors are where it fails.
    error = where + e.getMessage();
    return nullptr;
  }

  // The ports each object lists, before and after ours appear: the new names are
  // ours. (The input object lists the sources, where our output port appears; the
  // output object the destinations.)
  const auto sourcesBefore = portsNamed(*bridge->in_, portName);
  const auto destinationsBefore = [&] {
    std::lock_guard lock(bridge->outMutex_);
    return portsNamed(*bridge->out_, portName);
  }();

  try {
    bridge->in_->setCallback(&MidiPortBridge::onInput, bridge.get());
    // Receive SysEx; clock and active sensing mean nothing to the instrument.
    bridge->in_->ignoreTypes(false, true, true);
    // Matters only for APIs with fixed input buffers; ALSA and JACK grow their own.
    bridge->in_->setBufferSize(static_cast<unsigned>(SysexAssembler::kDefaultMaxMessageBytes), 4);
    bridge->in_->openVirtualPort(portName);
  } catch (const RtMidiError& e) {
    bridge->inputError(true, e.getMessage());
  }
  {
    // From now on input errors come from the API's thread and are only reported.
    std::lock_guard lock(bridge->inErrorMutex_);
    bridge->opening_ = false;
    if (bridge->inOpenFailed_) {
      error = where + "cannot open the input port: " + bridge->inOpenErrorText_;
      return nullptr;
    }
  }

  {
    std::lock_guard lock(bridge->outMutex_);
    bridge->outError_ = false;
    try {
      bridge->out_->openVirtualPort(portName);
    } catch (const RtMidiError& e) {
      bridge->outError_ = true;
      bridge->outErrorText_ = e.getMessage();
    }
    if (bridge->outError_) {
      error = where + "cannot open the output port: " + bridge->outErrorText_;
      return nullptr;
    }
  }

  bridge->outputNames_ = added(sourcesBefore, portsNamed(*bridge->in_, portName));
  std::lock_guard lock(bridge->outMutex_);
  bridge->inputNames_ = added(destinationsBefore, portsNamed(*bridge->out_, portName));
  return bridge;
}

MidiPortBridge::~MidiPortBridge() {
  stop();
  // Destroying the input object ends the API's input thread or JACK client, so no
  // callback runs after this.
  in_.reset();
  {
    std::lock_guard lock(outMutex_);
    if (out_ && api_ == MidiApi::Jack) tonelink::jack::closeRtMidiOutput(*out_);
    out_.reset();
  }
  watch_.reset();
}

void MidiPortBridge::log(const std::string& text) {
  if (log_) log_(text);
}

void MidiPortBridge::inputError(bool fatal, const std::string& text) {
  {
    std::lock_guard lock(inErrorMutex_);
    if (opening_) {
      inOpenFailed_ = inOpenFailed_ || fatal;
      if (!inOpenErrorText_.empty()) inOpenErrorText_ += "; ";
      inOpenErrorText_ += text;
      return;
    }
  }
  log(text);
}

void MidiPortBridge::onInput(double, std::vector<unsigned char>* message, void* self) {
  auto* bridge = static_cast<MidiPortBridge*>(self);
  if (!message) return;
  bridge->assembler_.feed(std::span<const std::uint8_t>(message->data(), message->size()));
  const std::uint64_t dropped = bridge->assembler_.droppedMessages();
  if (dropped != bridge->droppedAssembly_.load(std::memory_order_relaxed)) {
    // Under the lock, so that the delivering thread cannot miss the change.
    std::lock_guard lock(bridge->queueMutex_);
    bridge->droppedAssembly_.store(dropped, std::memory_order_relaxed);
    bridge->queueChanged_.notify_one();
  }
}

void MidiPortBridge::enqueue(Message message) {
  std::lock_guard lock(queueMutex_);
  if (stopping_) return;
  if (queue_.size() >= kMaxQueuedMessages) {
    droppedQueue_.fetch_add(1, std::memory_order_relaxed);
  } else {
    queue_.emplace_back(message.begin(), message.end());
  }
  queueChanged_.notify_one();
}

void MidiPortBridge::start(Deliver deliver) {
  if (deliverer_.joinable()) return;
  deliver_ = std::move(deliver);
  deliverer_ = std::thread([this] { deliverLoop(); });
}

void MidiPortBridge::deliverLoop() {
  std::uint64_t reportedDrops = 0;
  std::unique_lock lock(queueMutex_);
  for (;;) {
    queueChanged_.wait(lock, [&] {
      return stopping_ || !queue_.empty() ||
             droppedAssembly_.load(std::memory_order_relaxed) + droppedQueue_.load(std::memory_order_relaxed) !=
                 reportedDrops;
    });
    if (stopping_) return;
    const std::uint64_t drops =
        droppedAssembly_.load(std::memory_order_relaxed) + droppedQueue_.load(std::memory_order_relaxed);
    if (drops != reportedDrops) {
      const std::uint64_t fresh = drops - reportedDrops;
      reportedDrops = drops;
      lock.unlock();
      log("dropped " + std::to_string(fresh) + " incoming message(s): incomplete, too long, or too many waiting");
      lock.lock();
      continue;
    }
    std::vector<std::uint8_t> message = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    deliver_(message);
    delivered_.fetch_add(1, std::memory_order_relaxed);
    lock.lock();
  }
}

void MidiPortBridge::stop() {
  giveUpSending_.store(true);
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
  }
  queueChanged_.notify_all();
  if (deliverer_.joinable()) deliverer_.join();
}

void MidiPortBridge::send(Message message) {
  if (message.empty()) return;
  const Clock::time_point deadline = Clock::now() + kSendPatience;
  std::unique_lock lock(outMutex_);
  if (!out_) return;
  for (;;) {
    if (systemGone_.load()) {
      outErrorText_ = "the MIDI system has gone away";
      break;
    }
    outError_ = false;
    out_->sendMessage(message.data(), message.size());
    if (!outError_) return;
    if (giveUpSending_.load() || Clock::now() >= deadline) break;
    // The MIDI system had no room (ALSA's output pool, for one): try again shortly.
    // (RtMidi's JACK output waits for room itself.)
    lock.unlock();
    std::this_thread::sleep_for(kSendRetryPause);
    lock.lock();
    if (!out_) return;
  }
  failedSends_.fetch_add(1, std::memory_order_relaxed);
  const std::string text = outErrorText_;
  lock.unlock();
  log("a message of " + std::to_string(message.size()) + " bytes could not be sent: " + text);
}

MidiPortBridge::Counters MidiPortBridge::counters() const {
  return {delivered_.load(), droppedAssembly_.load() + droppedQueue_.load(), failedSends_.load()};
}

}  // namespace quaverly::instrument::tool
