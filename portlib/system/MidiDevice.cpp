#include "portlib/system/MidiDevice.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "portlib/system/ThreadMessageQueue.h"

namespace tonelink::mm {

namespace {

// Header flags are changed only with the owning device's mutex held, so the device's
// threads and the caller never race on them.
MMRESULT prepareLocked(MIDIHDR* header) {
  if (!header || !header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  header->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT unprepareLocked(MIDIHDR* header) {
  if (!header) return MMSYSERR_INVALPARAM;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

// F0, then no other F0 or F7 before the closing F7.
bool isWholeSysex(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 2 || bytes.front() != 0xF0 || bytes.back() != 0xF7) return false;
  const auto inner = bytes.subspan(1, bytes.size() - 2);
  return std::none_of(inner.begin(), inner.end(), [](std::uint8_t b) { return b == 0xF0 || b == 0xF7; });
}

}  // namespace

// ---- output ----------------------------------------------------------------

MidiOutDevice::~MidiOutDevice() { close(); }

void MidiOutDevice::attach(const Notifier& notifier) {
  notifier_ = notifier;
  sender_ = std::thread([this] { senderLoop(); });
}

MMRESULT MidiOutDevice::prepare(MIDIHDR* header) {
  std::lock_guard lock(mutex_);
  return prepareLocked(header);
}

MMRESULT MidiOutDevice::unprepare(MIDIHDR* header) {
  std::lock_guard lock(mutex_);
  return unprepareLocked(header);
}

MMRESULT MidiOutDevice::shortMessage(DWORD packed) {
  const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed & 0xFF),
                                 static_cast<std::uint8_t>((packed >> 8) & 0xFF),
                                 static_cast<std::uint8_t>((packed >> 16) & 0xFF)};
  if (bytes[0] >= 0x80) {
    // A channel status starts a running status; a system common message ends it.
    if (bytes[0] < 0xF0) {
      runningStatus_.store(bytes[0]);
    } else if (bytes[0] < 0xF8) {
      runningStatus_.store(0);
    }
    return sendShort(std::span(bytes, shortMessageLength(bytes[0])));
  }
  // Running status: the message continues the last channel status. The transports
  // take whole messages only, so the status is written out again in front.
  if (const std::uint8_t status = runningStatus_.load()) {
    const std::uint8_t whole[3] = {status, bytes[0], bytes[1]};
    return sendShort(std::span(whole, shortMessageLength(status)));
  }
  // Data bytes with no status before them go out as they are, up to the last byte
  // that is not zero padding.
  std::size_t length = 3;
  while (length > 1 && bytes[length - 1] == 0) --length;
  return sendShort(std::span(bytes, length));
}

MMRESULT MidiOutDevice::longMessage(MIDIHDR* header) {
  {
    std::lock_guard lock(mutex_);
    if (!header) return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    if (closing_) return MMSYSERR_INVALHANDLE;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    queue_.push_back(header);
  }
  runningStatus_.store(0);  // System Exclusive ends a running status
  queued_.notify_one();
  return MMSYSERR_NOERROR;
}

MMRESULT MidiOutDevice::close() {
  {
    std::lock_guard lock(mutex_);
    if (closing_) return MMSYSERR_NOERROR;
    closing_ = true;
  }
  queued_.notify_one();
  if (sender_.joinable()) sender_.join();
  closeTransport();
  return MMSYSERR_NOERROR;
}

void MidiOutDevice::senderLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    if (queue_.empty()) return;
    MIDIHDR* header = queue_.front();
    queue_.pop_front();
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(header->lpData),
                                              header->dwBufferLength);
    lock.unlock();
    sendLong(bytes);  // a failure cannot be reported once the message was queued
    lock.lock();
    header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    lock.unlock();
    notifyDone(header);
    lock.lock();
  }
}

void MidiOutDevice::notifyDone(MIDIHDR* header) {
  const auto param = reinterpret_cast<DWORD_PTR>(header);
  if (notifier_.flags == CALLBACK_FUNCTION && notifier_.callback) {
    reinterpret_cast<MidiOutProc>(notifier_.callback)(this, MM_MOM_DONE, notifier_.instance, param, 0);
  } else if (notifier_.flags == CALLBACK_THREAD && notifier_.callback) {
    reinterpret_cast<ThreadMessageQueue*>(notifier_.callback)
        ->post(MM_MOM_DONE, reinterpret_cast<DWORD_PTR>(this), param);
  }
}

// ---- input -----------------------------------------------------------------

MidiInDevice::~MidiInDevice() = default;

void MidiInDevice::attach(const Notifier& notifier) { notifier_ = notifier; }

MMRESULT MidiInDevice::prepare(MIDIHDR* header) {
  std::lock_guard lock(mutex_);
  return prepareLocked(header);
}

MMRESULT MidiInDevice::unprepare(MIDIHDR* header) {
  std::lock_guard lock(mutex_);
  return unprepareLocked(header);
}

MMRESULT MidiInDevice::addBuffer(MIDIHDR* header) {
  std::lock_guard lock(mutex_);
  if (!header) return MMSYSERR_INVALPARAM;
  if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
  header->dwBytesRecorded = 0;
  queue_.push_back(header);
  return MMSYSERR_NOERROR;
}

MMRESULT MidiInDevice::start() {
  std::lock_guard lock(mutex_);
  started_ = true;
  return MMSYSERR_NOERROR;
}

MIDIHDR* MidiInDevice::finishFront() {
  MIDIHDR* header = queue_.front();
  queue_.pop_front();
  header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  return header;
}

MMRESULT MidiInDevice::stop() {
  MIDIHDR* partial = nullptr;
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    if (inSysex_ && !queue_.empty() && queue_.front()->dwBytesRecorded > 0) partial = finishFront();
    inSysex_ = false;
  }
  if (partial) notify(MM_MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(partial));
  return MMSYSERR_NOERROR;
}

MMRESULT MidiInDevice::reset() {
  std::deque<MIDIHDR*> returned;
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    inSysex_ = false;
    // Returned buffers carry no bytes: a message cut short by the reset is dropped.
    while (!queue_.empty()) {
      queue_.front()->dwBytesRecorded = 0;
      returned.push_back(finishFront());
    }
  }
  for (MIDIHDR* header : returned) notify(MM_MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header));
  return MMSYSERR_NOERROR;
}

MMRESULT MidiInDevice::close() {
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return MIDIERR_STILLPLAYING;
    started_ = false;
  }
  closeTransport();
  return MMSYSERR_NOERROR;
}

void MidiInDevice::deliver(std::span<const std::uint8_t> bytes) {
  // Notifications are sent after the mutex is released: a function callback may queue
  // a header again at once.
  std::vector<std::pair<UINT, DWORD_PTR>> notes;
  {
    std::lock_guard lock(mutex_);
    if (!started_) return;
    // A System Exclusive message delivered whole belongs together even where a byte has
    // bit 7 set: the instrument's texts are code page 932 and travel as they are.
    if (!inSysex_ && isWholeSysex(bytes)) {
      for (const std::uint8_t b : bytes) storeSysexByte(b, notes);
      bytes = {};
    }
    std::size_t i = 0;
    while (i < bytes.size()) {
      const std::uint8_t b = bytes[i];
      if (b >= 0xF8) {
        // Real-time bytes may stand anywhere, even inside a System Exclusive message.
        notes.emplace_back(MM_MIM_DATA, b);
        ++i;
      } else if (inSysex_ && b >= 0x80 && b != 0xF7) {
        // A new status breaks the unfinished message off; its header comes back as is.
        inSysex_ = false;
        if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) {
          notes.emplace_back(MM_MIM_LONGERROR, reinterpret_cast<DWORD_PTR>(finishFront()));
        }
      } else if (inSysex_ || b == 0xF0) {
        inSysex_ = b != 0xF7;
        storeSysexByte(b, notes);
        ++i;
      } else if (b >= 0x80) {
        // A message cut short ends at the next status byte, which starts a message of its own.
        std::size_t length = 1;
        while (length < shortMessageLength(b) && i + length < bytes.size() && bytes[i + length] < 0x80) ++length;
        DWORD packed = 0;
        for (std::size_t k = 0; k < length; ++k) packed |= static_cast<DWORD>(bytes[i + k]) << (8 * k);
        notes.emplace_back(MM_MIM_DATA, packed);
        i += length;
      } else {
        ++i;  // a data byte without a status means nothing
      }
    }
  }
  for (const auto& [message, param] : notes) notify(message, param);
}

void MidiInDevice::storeSysexByte(std::uint8_t byte, std::vector<std::pair<UINT, DWORD_PTR>>& notes) {
  if (queue_.empty()) return;  // no buffer to put it in: the byte is lost
  MIDIHDR* header = queue_.front();
  header->lpData[header->dwBytesRecorded++] = static_cast<char>(byte);
  if (byte == 0xF7 || header->dwBytesRecorded >= header->dwBufferLength) {
    notes.emplace_back(MM_MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(finishFront()));
  }
}

void MidiInDevice::notify(UINT message, DWORD_PTR param) {
  if (notifier_.flags == CALLBACK_FUNCTION && notifier_.callback) {
    reinterpret_cast<MidiInProc>(notifier_.callback)(this, message, notifier_.instance, param, 0);
  } else if (notifier_.flags == CALLBACK_THREAD && notifier_.callback) {
    reinterpret_cast<ThreadMessageQueue*>(notifier_.callback)->post(message, reinterpret_cast<DWORD_PTR>(this), param);
  }
}

std::size_t shortMessageLength(std::uint8_t status) {
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 2 : 3;
  switch (status) {
    case 0xF1:
    case 0xF3:
      return 2;
    case 0xF2:
      return 3;
    default:
      return 1;
  }
}

}  // namespace tonelink::mm
