#include "portlib/MidiOutPort.h"

#include <chrono>
#include <cstring>
#include <new>
#include <thread>

#include "portlib/system/MidiSystem.h"

namespace tonelink {

using namespace mm;

MidiOutPort::~MidiOutPort() { close(); }

unsigned MidiOutPort::deviceCount() const { return midiOutGetNumDevs(); }

std::optional<std::string> MidiOutPort::productName(unsigned id) const {
  MIDIOUTCAPS caps;
  if (midiOutGetDevCaps(id, &caps) != MMSYSERR_NOERROR) return std::nullopt;
  return caps.szPname;
}

MMRESULT MidiOutPort::errorText(MMRESULT code, char* text, unsigned size) const {
  return midiOutGetErrorText(code, text, size);
}

int MidiOutPort::open(int id, bool synchronous) {
  synchronous_.store(synchronous);
  clearResult();
  if (isOpen()) return 1;
  if (id != -1) deviceId_.store(static_cast<unsigned>(id));
  return openDevice();
}

int MidiOutPort::openDevice() {
  HMIDIOUT handle = nullptr;
  record(midiOutOpen(&handle, deviceId_.load(), reinterpret_cast<DWORD_PTR>(&MidiOutPort::completion),
                     reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION));
  handle_.store(handle);
  return outcome();
}

int MidiOutPort::close() {
  clearResult();
  HMIDIOUT handle = handle_.load();
  if (!handle) return 1;
  // The device is closed before the slots are released: closing sends whatever is
  // still queued and completes it, so no buffer is freed while the system reads it.
  const MMRESULT closed = midiOutClose(handle);
  handle_.store(nullptr);
  for (SendSlot& slot : slots_) {
    slot.buffer.reset();
    slot.header = MIDIHDR{};
  }
  record(closed);
  return outcome();
}

int MidiOutPort::write(const std::uint8_t* bytes, int length) {
  clearResult();
  if (!bytes || length <= 0) return 0;
  if (!isOpen() && !open(-1, false)) return 0;
  if (length <= 3 && bytes[0] < 0xF0) {
    DWORD packed = 0;
    for (int i = 0; i < length; ++i) packed |= static_cast<DWORD>(bytes[i]) << (8 * i);
    record(midiOutShortMsg(handle_.load(), packed));
    return outcome();
  }
  return sendLong(bytes, length);
}

int MidiOutPort::dump(const std::uint8_t* bytes, int length) {
  clearResult();
  if (!bytes || length <= 0) return 0;
  if (!isOpen() && !open(-1, false)) return 0;
  return sendLong(bytes, length);
}

int MidiOutPort::sendLong(const std::uint8_t* bytes, int length) {
  SendSlot* free = nullptr;
  for (SendSlot& slot : slots_) {
    if (busyMark(slot.header).load(std::memory_order_acquire) == 0) {
      free = &slot;
      break;
    }
  }
  if (!free) return 0;  // every slot is still with the system; the caller tries again

  HMIDIOUT handle = handle_.load();
  releaseSlot(*free);
  free->buffer.reset(new (std::nothrow) char[static_cast<std::size_t>(length)]());
  if (!free->buffer) return 0;
  std::memcpy(free->buffer.get(), bytes, static_cast<std::size_t>(length));
  free->header.lpData = free->buffer.get();
  free->header.dwBufferLength = static_cast<DWORD>(length);

  if (record(midiOutPrepareHeader(handle, &free->header, sizeof(MIDIHDR))) != MMSYSERR_NOERROR) return outcome();
  busyMark(free->header).store(1, std::memory_order_release);
  if (record(midiOutLongMsg(handle, &free->header, sizeof(MIDIHDR))) != MMSYSERR_NOERROR) {
    busyMark(free->header).store(0, std::memory_order_release);
  } else if (synchronous_.load()) {
    while (busyMark(free->header).load(std::memory_order_acquire) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  return outcome();
}

void MidiOutPort::releaseSlot(SendSlot& slot) {
  if (slot.header.lpData) midiOutUnprepareHeader(handle_.load(), &slot.header, sizeof(MIDIHDR));
  slot.buffer.reset();
  slot.header = MIDIHDR{};
}

void MidiOutPort::completion(HMIDIOUT, UINT message, DWORD_PTR, DWORD_PTR param1, DWORD_PTR) {
  if (message != MOM_DONE || !param1) return;
  busyMark(*reinterpret_cast<MIDIHDR*>(param1)).store(0, std::memory_order_release);
}

}  // namespace tonelink
