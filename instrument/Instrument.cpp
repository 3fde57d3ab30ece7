#include "instrument/Instrument.h"

#include <algorithm>

namespace quaverly::instrument {

Instrument::Instrument(std::unique_ptr<FileMemory> memory, InstrumentOptions options, Sender sender)
    : options_(std::move(options)),
      sender_(std::move(sender)),
      memory_(std::move(memory)),
      protocol_(*memory_, options_, *this),
      lastActivity_(Clock::now()),
      thread_([this] { run(); }) {}

Instrument::~Instrument() {
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

Instrument::Clock::duration Instrument::scaled(Milliseconds ms) const {
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double, std::milli>(static_cast<double>(ms.count()) * options_.timeScale));
}

Instrument::Clock::duration Instrument::wireTime(std::size_t bytes) const {
  const double seconds = static_cast<double>(bytes) / std::max<std::uint32_t>(1, options_.wire.bytesPerSecond);
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds * options_.timeScale));
}

void Instrument::receive(std::span<const std::uint8_t> message) {
  Bytes bytes(message.begin(), message.end());
  trace_.record(TraceEntry::Direction::In, bytes);
  {
    std::lock_guard lock(queueMutex_);
    const Clock::time_point now = Clock::now();
    Inbound in{now, std::move(bytes), false};
    if (options_.wire.enabled) {
      // The input buffer drains at the wire rate; what does not fit is lost.
      const Clock::time_point drainedFrom = std::max(now, inputDrainedAt_);
      const Clock::duration queued = drainedFrom - now;
      const Clock::duration room = wireTime(options_.wire.inputBufferBytes) - queued;
      const Clock::duration needed = wireTime(in.bytes.size());
      if (needed > room) {
        in.damaged = true;
        inputDrainedAt_ = drainedFrom + std::max(room, Clock::duration::zero());
      } else {
        inputDrainedAt_ = drainedFrom + needed;
      }
      in.due = inputDrainedAt_;
    }
    inbound_.push_back(std::move(in));
  }
  wake_.notify_one();
}

bool Instrument::waitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queueMutex_);
  return idle_.wait_for(lock, timeout, [this] { return inbound_.empty() && outbound_.empty() && !working_; });
}

bool Instrument::inTransferMode() {
  std::lock_guard lock(stateMutex_);
  return protocol_.inTransferMode();
}

void Instrument::withMemory(const std::function<void(FileMemory&)>& fn) {
  std::lock_guard lock(stateMutex_);
  fn(*memory_);
}

void Instrument::send(Bytes message, Milliseconds delay, std::uint64_t transfer) {
  {
    std::lock_guard lock(queueMutex_);
    if (++queuedCount_ == options_.faults.dropAnswer) return;
    Clock::time_point due = std::max(Clock::now() + scaled(delay + options_.faults.answerDelay), lastDue_);
    if (options_.wire.enabled) {
      due = std::max(due, lineFreeAt_) + wireTime(message.size());
      lineFreeAt_ = due;
    }
    lastDue_ = due;
    outbound_.push_back({due, std::move(message), transfer});
  }
  wake_.notify_one();
}

void Instrument::withdraw(std::uint64_t transfer) {
  std::lock_guard lock(queueMutex_);
  std::erase_if(outbound_, [transfer](const Outbound& o) { return o.transfer == transfer && transfer != 0; });
  // What is withdrawn never takes the line: later messages follow only what is still
  // queued (queued messages are in the order of their times), not the withdrawn
  // stream's end, which may be far ahead.
  const Clock::time_point now = Clock::now();
  const Clock::time_point last = outbound_.empty() ? now : std::max(now, outbound_.back().due);
  lastDue_ = std::min(lastDue_, last);
  lineFreeAt_ = std::min(lineFreeAt_, last);
}

void Instrument::armSilenceTimer(bool armed) {
  std::lock_guard lock(queueMutex_);
  silenceArmed_ = armed;
  lastActivity_ = Clock::now();
}

void Instrument::run() {
  std::unique_lock lock(queueMutex_);
  while (!stopping_) {
    const Clock::time_point now = Clock::now();
    if (!inbound_.empty() && inbound_.front().due <= now) {
      Inbound in = std::move(inbound_.front());
      inbound_.pop_front();
      working_ = true;
      lastActivity_ = now;
      lock.unlock();
      {
        std::lock_guard state(stateMutex_);
        protocol_.handle(in.bytes, in.damaged);
      }
      lock.lock();
      working_ = false;
      continue;
    }
    if (!outbound_.empty() && outbound_.front().due <= now) {
      Outbound out = std::move(outbound_.front());
      outbound_.pop_front();
      working_ = true;
      lastActivity_ = now;
      lock.unlock();
      trace_.record(TraceEntry::Direction::Out, out.bytes);
      if (sender_) sender_(out.bytes);
      lock.lock();
      working_ = false;
      continue;
    }
    // The silence timer runs only while the instrument itself has nothing to say.
    std::optional<Clock::time_point> silenceDue;
    if (silenceArmed_ && outbound_.empty()) silenceDue = lastActivity_ + scaled(options_.sessionTimeout);
    if (silenceDue && *silenceDue <= now) {
      silenceArmed_ = false;
      working_ = true;
      lock.unlock();
      {
        std::lock_guard state(stateMutex_);
        protocol_.onSilence();
      }
      lock.lock();
      working_ = false;
      continue;
    }

    if (inbound_.empty() && outbound_.empty()) idle_.notify_all();
    std::optional<Clock::time_point> next = silenceDue;
    for (const auto due : {inbound_.empty() ? std::optional<Clock::time_point>{} : inbound_.front().due,
                           outbound_.empty() ? std::optional<Clock::time_point>{} : outbound_.front().due}) {
      if (due && (!next || *due < *next)) next = due;
    }
    if (next) {
      wake_.wait_until(lock, *next);
    } else {
      wake_.wait(lock);
    }
  }
}

}  // namespace quaverly::instrument
