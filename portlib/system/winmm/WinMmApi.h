// The few calls of the Windows multimedia MIDI interface (winmm) the winmm backend
// makes, as a table of function pointers, so that the tests can put a fake system in
// place of the real one. Nothing here includes <windows.h>: <mmsystem.h> defines
// MIDIHDR, MMSYSERR_NOERROR, MIM_DATA and more as macros and types that clash with
// the names of portlib/system/MmSystem.h, so the real system's headers stay inside
// WinMmApi.cpp.
//
// The table's types are neutral stand-ins for winmm's: opaque handles, a buffer
// record with room for the system's own header, and two event interfaces in place
// of the callback function and its message numbers. The real table passes the
// buffers and events on to winmm as they are meant to be used; a fake works on
// them directly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tonelink::mm::winmm {

// A result code as winmm returns it (its MMRESULT).
using Result = unsigned int;

// winmm's result codes by their numbers; WinMmApi.cpp checks each against the
// system's header.
inline constexpr Result kNoError = 0;
inline constexpr Result kError = 1;
inline constexpr Result kBadDeviceId = 2;
inline constexpr Result kNotEnabled = 3;
inline constexpr Result kAllocated = 4;
inline constexpr Result kInvalidHandle = 5;
inline constexpr Result kNoDriver = 6;
inline constexpr Result kNoMemory = 7;
inline constexpr Result kNotSupported = 8;
inline constexpr Result kBadErrorNumber = 9;
inline constexpr Result kInvalidFlag = 10;
inline constexpr Result kInvalidParameter = 11;
inline constexpr Result kNoDriverCallback = 20;
inline constexpr Result kUnprepared = 64;
inline constexpr Result kStillPlaying = 65;
inline constexpr Result kNoMap = 66;
inline constexpr Result kNotReady = 67;
inline constexpr Result kNoDevice = 68;
inline constexpr Result kInvalidSetup = 69;
inline constexpr Result kBadOpenMode = 70;

// Handles of devices opened at the system.
struct InDevice;
struct OutDevice;
using InHandle = InDevice*;
using OutHandle = OutDevice*;

// A device's product name as the system gives it: UTF-16, ended by a NUL unless it
// fills the array.
inline constexpr std::size_t kNameLength = 32;
using DeviceName = std::array<char16_t, kNameLength>;

// A buffer lent to the system for one long message. `system` holds the system's own
// header of the buffer while it is prepared; the owner keeps the record at one
// address from prepare to unprepare.
struct LongBuffer {
  std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  alignas(8) unsigned char system[128] = {};
};

// What an open input device reports. Called on a thread of the system, one call at
// a time per device.
class InputEvents {
 public:
  // A short message, packed: status in the low byte, then the data bytes.
  virtual void shortData(std::uint32_t packed) = 0;
  // A buffer comes back with `recorded` bytes in it: filled, ended by F7, returned
  // empty by a reset, or (`broken`) holding a message the system found faulty.
  virtual void longData(LongBuffer& buffer, std::uint32_t recorded, bool broken) = 0;

 protected:
  ~InputEvents() = default;
};

// What an open output device reports, on a thread of the system or inside the call
// that sent the long message.
class OutputEvents {
 public:
  // The system is done with a buffer given to midiOutLongMsg.
  virtual void longDone(LongBuffer& buffer) = 0;

 protected:
  ~OutputEvents() = default;
};

// Each member does what the winmm function of its name does. The open calls register
// `events` for the device's notifications until it is closed.
struct WinMmApi {
  unsigned (*midiInGetNumDevs)();
  Result (*midiInGetDevCapsW)(unsigned id, DeviceName& name);
  Result (*midiInOpen)(InHandle* handle, unsigned id, InputEvents* events);
  Result (*midiInPrepareHeader)(InHandle handle, LongBuffer* buffer);
  Result (*midiInUnprepareHeader)(InHandle handle, LongBuffer* buffer);
  Result (*midiInAddBuffer)(InHandle handle, LongBuffer* buffer);
  Result (*midiInStart)(InHandle handle);
  Result (*midiInStop)(InHandle handle);
  Result (*midiInReset)(InHandle handle);
  Result (*midiInClose)(InHandle handle);

  unsigned (*midiOutGetNumDevs)();
  Result (*midiOutGetDevCapsW)(unsigned id, DeviceName& name);
  Result (*midiOutOpen)(OutHandle* handle, unsigned id, OutputEvents* events);
  Result (*midiOutShortMsg)(OutHandle handle, std::uint32_t packed);
  Result (*midiOutPrepareHeader)(OutHandle handle, LongBuffer* buffer);
  Result (*midiOutUnprepareHeader)(OutHandle handle, LongBuffer* buffer);
  Result (*midiOutLongMsg)(OutHandle handle, LongBuffer* buffer);
  Result (*midiOutReset)(OutHandle handle);
  Result (*midiOutClose)(OutHandle handle);
};

// The table bound to the functions of winmm.dll.
const WinMmApi& realWinMmApi();

// A device name in UTF-8, up to its first NUL. Faulty UTF-16 (a lone surrogate)
// becomes U+FFFD.
std::string utf8Name(const DeviceName& name);

}  // namespace tonelink::mm::winmm
