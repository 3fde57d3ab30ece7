#include "portlib/MidiInPort.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "portlib/system/MidiSystem.h"
#include "portlib/system/ThreadMessageQueue.h"

namespace tonelink {

using namespace mm;

namespace {

// The receive buffers of mode 0 come from one static pool.
char staticPool[MidiInPort::kBufferCount][MidiInPort::kBufferBytes];

}  // namespace

MidiInPort::~MidiInPort() { close(); }

unsigned MidiInPort::deviceCount() const { return midiInGetNumDevs(); }

std::optional<std::string> MidiInPort::productName(unsigned id) const {
  MIDIINCAPS caps;
  if (midiInGetDevCaps(id, &caps) != MMSYSERR_NOERROR) return std::nullopt;
  return caps.szPname;
}

MMRESULT MidiInPort::errorText(MMRESULT code, char* text, unsigned size) const {
  return midiInGetErrorText(code, text, size);
}

int MidiInPort::open(ReceiveCallback callback, int id, int mode, int idleMs) {
  clearResult();
  if (isOpen()) return 1;
  if (id != -1) deviceId_.store(static_cast<unsigned>(id));
  callback_.store(callback);
  idleSleep_.store(std::max(idleMs, 0));
  receiveMode_.store(mode);

  HMIDIIN handle = nullptr;
  if (mode == kModeThread) {
    record(midiInOpen(&handle, deviceId_.load(), reinterpret_cast<DWORD_PTR>(&threadQueue_), 0, CALLBACK_THREAD));
  } else {
    record(midiInOpen(&handle, deviceId_.load(), reinterpret_cast<DWORD_PTR>(&MidiInPort::systemCallback),
                      reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION));
  }
  if (getLastResult() != MMSYSERR_NOERROR) return 0;
  handle_.store(handle);
  if (!setUpBuffers()) {
    releaseBuffers();
    return 0;
  }
  return outcome();
}

bool MidiInPort::setUpBuffers() {
  std::lock_guard lock(buffersMutex_);
  const HMIDIIN handle = handle_.load();
  headers_.fill(MIDIHDR{});
  for (std::size_t i = 0; i < kBufferCount; ++i) {
    char* block = staticPool[i];
    if (receiveMode_.load() == kModeThread) {
      heapBlocks_[i].reset(new (std::nothrow) char[kBufferBytes]());
      if (!heapBlocks_[i]) return false;
      block = heapBlocks_[i].get();
    }
    headers_[i].lpData = block;
    headers_[i].dwBufferLength = kBufferBytes;
    if (record(midiInPrepareHeader(handle, &headers_[i], sizeof(MIDIHDR))) != MMSYSERR_NOERROR) return false;
    if (record(midiInAddBuffer(handle, &headers_[i], sizeof(MIDIHDR))) != MMSYSERR_NOERROR) return false;
  }
  return true;
}

void MidiInPort::releaseBuffers() {
  std::lock_guard lock(buffersMutex_);
  const HMIDIIN handle = handle_.load();
  for (MIDIHDR& header : headers_) midiInUnprepareHeader(handle, &header, sizeof(MIDIHDR));
  for (auto& block : heapBlocks_) block.reset();
  headers_.fill(MIDIHDR{});
}

int MidiInPort::close() {
  clearResult();
  const HMIDIIN handle = handle_.load();
  if (!handle) return 1;
  closing_.store(true);
  // From here on the handler neither queues a buffer again nor touches the handle. A
  // handler that looked before the flag was set holds the buffers' mutex until it is
  // done: taking the mutex once waits for it, so the reset below returns every buffer.
  { std::lock_guard wait(buffersMutex_); }
  record(midiInStop(handle));
  record(midiInReset(handle));
  releaseBuffers();
  // No lock of this port is held while the device closes: closing waits for the
  // transport to stop delivering, and a delivery may be waiting for the buffers' mutex.
  if (record(midiInClose(handle)) != MMSYSERR_NOERROR) {
    // A buffer was queued again meanwhile: return it and close once more.
    record(midiInReset(handle));
    record(midiInClose(handle));
  }
  handle_.store(nullptr);
  closing_.store(false);
  receiveMode_.store(kModeFunction);
  return outcome();
}

int MidiInPort::start() {
  clearResult();
  if (const HMIDIIN handle = handle_.load()) record(midiInStart(handle));
  return outcome();
}

int MidiInPort::stop() {
  clearResult();
  if (const HMIDIIN handle = handle_.load()) {
    if (record(midiInStop(handle)) == MMSYSERR_NOERROR) record(midiInReset(handle));
  }
  return outcome();
}

void MidiInPort::systemCallback(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  reinterpret_cast<MidiInPort*>(instance)->handle(message, param1);
}

void MidiInPort::handle(UINT message, DWORD_PTR param) {
  if (message == MM_MIM_DATA) {
    const auto status = static_cast<std::uint8_t>(param & 0xFF);
    if (status >= 0xF0) return;
    const std::uint8_t bytes[3] = {status, static_cast<std::uint8_t>((param >> 8) & 0xFF),
                                   static_cast<std::uint8_t>((param >> 16) & 0xFF)};
    if (const ReceiveCallback callback = callback_.load())
      callback(bytes, static_cast<int>(shortMessageLength(status)));
  } else if (message == MM_MIM_LONGDATA || message == MM_MIM_LONGERROR) {
    auto* header = reinterpret_cast<MIDIHDR*>(param);
    if (header) deliverLong(*header);
  }
}

void MidiInPort::deliverLong(MIDIHDR& header) {
  std::lock_guard lock(buffersMutex_);
  // Only headers of this port that the system marked done are taken: a header zeroed
  // by a close, or one that is not ours, is ignored.
  const bool ours = &header >= headers_.data() && &header < headers_.data() + headers_.size();
  if (!ours || !(header.dwFlags & MHDR_DONE)) return;
  if (header.dwBytesRecorded > 0 && header.lpData) {
    std::uint8_t copy[kBufferBytes];
    const std::size_t length = std::min<std::size_t>(header.dwBytesRecorded, kBufferBytes);
    std::memcpy(copy, header.lpData, length);
    if (const ReceiveCallback callback = callback_.load()) callback(copy, static_cast<int>(length));
  }
  // While the port closes, a buffer stays with the port: the close is returning them all.
  if (closing_.load()) return;
  const HMIDIIN handle = handle_.load();
  if (!handle || !header.lpData) return;  // the port was closed meanwhile
  header.dwFlags = 0;
  header.dwBytesRecorded = 0;
  midiInPrepareHeader(handle, &header, sizeof(MIDIHDR));
  midiInAddBuffer(handle, &header, sizeof(MIDIHDR));
}

}  // namespace tonelink
