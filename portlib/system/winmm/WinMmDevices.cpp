#include "portlib/system/winmm/WinMmDevices.h"

#include <algorithm>
#include <utility>

namespace tonelink::mm::winmm {

MMRESULT fromWinMm(Result result) {
  static constexpr std::pair<Result, MMRESULT> kCodes[] = {
      {kNoError, MMSYSERR_NOERROR},
      {kError, MMSYSERR_ERROR},
      {kBadDeviceId, MMSYSERR_BADDEVICEID},
      {kNotEnabled, MMSYSERR_NOTENABLED},
      {kAllocated, MMSYSERR_ALLOCATED},
      {kInvalidHandle, MMSYSERR_INVALHANDLE},
      {kNoDriver, MMSYSERR_NODRIVER},
      {kNoMemory, MMSYSERR_NOMEM},
      {kNotSupported, MMSYSERR_NOTSUPPORTED},
      {kBadErrorNumber, MMSYSERR_BADERRNUM},
      {kInvalidFlag, MMSYSERR_INVALFLAG},
      {kInvalidParameter, MMSYSERR_INVALPARAM},
      {kNoDriverCallback, MMSYSERR_NODRIVERCB},
      {kUnprepared, MIDIERR_UNPREPARED},
      {kStillPlaying, MIDIERR_STILLPLAYING},
      {kNoMap, MIDIERR_NOMAP},
      {kNotReady, MIDIERR_NOTREADY},
      {kNoDevice, MIDIERR_NODEVICE},
      {kInvalidSetup, MIDIERR_INVALIDSETUP},
      {kBadOpenMode, MIDIERR_BADOPENMODE},
  };
  for (const auto& [theirs, ours] : kCodes) {
    if (theirs == result) return ours;
  }
  return MMSYSERR_ERROR;
}

// ---- output ----------------------------------------------------------------

WinMmOutDevice::WinMmOutDevice(const WinMmApi& api, std::chrono::milliseconds sendGrace)
    : api_(api), sendGrace_(sendGrace) {}

WinMmOutDevice::~WinMmOutDevice() { close(); }

MMRESULT WinMmOutDevice::open(unsigned id) {
  OutHandle handle = nullptr;
  const Result result = api_.midiOutOpen(&handle, id, static_cast<OutputEvents*>(this));
  if (result != kNoError) return fromWinMm(result);
  handle_.store(handle);
  return MMSYSERR_NOERROR;
}

MMRESULT WinMmOutDevice::sendShort(std::span<const std::uint8_t> bytes) {
  std::uint32_t packed = 0;
  for (std::size_t i = 0; i < bytes.size() && i < 3; ++i) packed |= std::uint32_t{bytes[i]} << (8 * i);
  std::lock_guard io(ioMutex_);
  const OutHandle handle = handle_.load();
  if (!handle) return MMSYSERR_INVALHANDLE;
  return fromWinMm(api_.midiOutShortMsg(handle, packed));
}

MMRESULT WinMmOutDevice::sendLong(std::span<const std::uint8_t> bytes) {
  {
    std::lock_guard lock(doneMutex_);
    longDone_ = false;
  }
  {
    std::lock_guard io(ioMutex_);
    const OutHandle handle = handle_.load();
    if (!handle) return MMSYSERR_INVALHANDLE;
    // The system only reads from an output buffer.
    longBuffer_.data = const_cast<std::uint8_t*>(bytes.data());
    longBuffer_.length = static_cast<std::uint32_t>(bytes.size());
    Result result = api_.midiOutPrepareHeader(handle, &longBuffer_);
    if (result != kNoError) return fromWinMm(result);
    result = api_.midiOutLongMsg(handle, &longBuffer_);
    if (result != kNoError) {
      api_.midiOutUnprepareHeader(handle, &longBuffer_);
      return fromWinMm(result);
    }
  }

  // Even a slow line takes a byte in a millisecond (MIDI's wire: 0.32 ms). A message
  // held longer is stuck, e.g. at a device that went away; a reset makes the system
  // give every buffer back, this one with it.
  MMRESULT outcome = MMSYSERR_NOERROR;
  {
    std::unique_lock lock(doneMutex_);
    const auto limit = sendGrace_ + std::chrono::milliseconds(bytes.size());
    if (!doneChanged_.wait_for(lock, limit, [this] { return longDone_; })) {
      lock.unlock();
      {
        std::lock_guard io(ioMutex_);
        api_.midiOutReset(handle_.load());
      }
      lock.lock();
      doneChanged_.wait(lock, [this] { return longDone_; });
      outcome = MIDIERR_NOTREADY;
    }
  }
  std::lock_guard io(ioMutex_);
  api_.midiOutUnprepareHeader(handle_.load(), &longBuffer_);
  return outcome;
}

void WinMmOutDevice::longDone(LongBuffer& buffer) {
  // Notified with the mutex held: once the sender sees the flag, this object may go.
  std::lock_guard lock(doneMutex_);
  if (&buffer != &longBuffer_) return;
  longDone_ = true;
  doneChanged_.notify_all();
}

void WinMmOutDevice::closeTransport() {
  // The sender thread has ended: no long message is out.
  std::lock_guard io(ioMutex_);
  const OutHandle handle = handle_.exchange(nullptr);
  if (!handle) return;
  api_.midiOutReset(handle);
  api_.midiOutClose(handle);
}

// ---- input -----------------------------------------------------------------

WinMmInDevice::WinMmInDevice(const WinMmApi& api) : api_(api) {
  for (Buffer& buffer : buffers_) {
    buffer.system.data = buffer.bytes.data();
    buffer.system.length = kBufferBytes;
  }
}

WinMmInDevice::~WinMmInDevice() { shutDown(); }

MMRESULT WinMmInDevice::open(unsigned id) {
  InHandle handle = nullptr;
  Result result = api_.midiInOpen(&handle, id, static_cast<InputEvents*>(this));
  if (result != kNoError) return fromWinMm(result);
  handle_.store(handle);
  for (Buffer& buffer : buffers_) {
    result = api_.midiInPrepareHeader(handle, &buffer.system);
    if (result == kNoError) {
      buffer.prepared = true;
      {
        std::lock_guard lock(eventMutex_);
        ++lentBuffers_;
      }
      result = api_.midiInAddBuffer(handle, &buffer.system);
      if (result != kNoError) {
        std::lock_guard lock(eventMutex_);
        --lentBuffers_;
      }
    }
    if (result != kNoError) break;
  }
  if (result == kNoError) result = api_.midiInStart(handle);
  if (result != kNoError) {
    shutDown();
    return fromWinMm(result);
  }
  return MMSYSERR_NOERROR;
}

void WinMmInDevice::closeTransport() { shutDown(); }

void WinMmInDevice::shutDown() {
  const InHandle handle = handle_.load();
  if (!handle) return;
  {
    // From here on no buffer is lent again; one being lent right now is waited for,
    // so that the reset below returns it too.
    std::unique_lock lock(eventMutex_);
    closing_ = true;
    eventsChanged_.wait(lock, [this] { return buffersBeingAdded_ == 0; });
  }
  // No lock of ours is held here: the system may give the buffers back from inside
  // these calls.
  api_.midiInStop(handle);
  const Result reset = api_.midiInReset(handle);
  {
    // A reset gives back every buffer, on the system's thread or in the call; a driver
    // that could not be reset is gone and gives back nothing more.
    std::unique_lock lock(eventMutex_);
    if (reset == kNoError) eventsChanged_.wait(lock, [this] { return lentBuffers_ == 0; });
    assembly_.clear();
  }
  for (Buffer& buffer : buffers_) {
    if (buffer.prepared) api_.midiInUnprepareHeader(handle, &buffer.system);
    buffer.prepared = false;
  }
  api_.midiInClose(handle);
  handle_.store(nullptr);
}

void WinMmInDevice::shortData(std::uint32_t packed) {
  const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed & 0xFF),
                                 static_cast<std::uint8_t>((packed >> 8) & 0xFF),
                                 static_cast<std::uint8_t>((packed >> 16) & 0xFF)};
  const std::uint8_t status = bytes[0];
  // A short message always starts with its status; System Exclusive comes in buffers.
  if (status < 0x80 || status == 0xF0 || status == 0xF7) return;
  std::lock_guard lock(eventMutex_);
  if (closing_) return;
  // Any message but a real-time one ends a System Exclusive message still open.
  if (status < 0xF8) passAssembled();
  deliver(std::span(bytes, shortMessageLength(status)));
}

void WinMmInDevice::longData(LongBuffer& buffer, std::uint32_t recorded, bool broken) {
  {
    std::lock_guard lock(eventMutex_);
    if (lentBuffers_ > 0) --lentBuffers_;
    if (closing_) {
      // Given back by the reset: kept for unpreparing. Notified with the mutex held:
      // once the closing thread sees the count, this object may go.
      eventsChanged_.notify_all();
      return;
    }
    takeLong(std::span<const std::uint8_t>(buffer.data, std::min(recorded, buffer.length)), broken);
    ++lentBuffers_;
    ++buffersBeingAdded_;
  }
  // The buffer goes back to the system at once, from the system's thread, so that the
  // pieces of a long message keep finding a buffer.
  const Result result = api_.midiInAddBuffer(handle_.load(), &buffer);
  std::lock_guard lock(eventMutex_);
  --buffersBeingAdded_;
  if (result != kNoError) --lentBuffers_;
  eventsChanged_.notify_all();
}

void WinMmInDevice::takeLong(std::span<const std::uint8_t> piece, bool broken) {
  if (!piece.empty()) {
    if (piece.front() == 0xF0) {
      passAssembled();  // one left unfinished goes on as it is, and is broken off there
    } else if (assembly_.empty()) {
      deliver(piece);  // nothing to continue: the system layer makes of it what it can
      return;
    }
    assembly_.insert(assembly_.end(), piece.begin(), piece.end());
  }
  if (broken || (!piece.empty() && piece.back() == 0xF7) || assembly_.size() >= kAssemblyLimit) passAssembled();
}

// Whole, a System Exclusive message reaches the system layer as one: its bytes stay
// together even where one has bit 7 set.
void WinMmInDevice::passAssembled() {
  if (assembly_.empty()) return;
  deliver(assembly_);
  assembly_.clear();
}

}  // namespace tonelink::mm::winmm
