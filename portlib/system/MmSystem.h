// The multimedia MIDI services Tonelink is written against: result codes, the
// long-message header record, device capabilities, notifications and callback
// flags, with the names and values of the platform's multimedia interface. They are
// our own declarations on every platform, and MidiSystem.h provides the operations;
// on Windows the winmm backend (system/winmm) translates them to the real winmm.
#pragma once

#include <cstdint>
#include <string>

namespace tonelink::mm {

using MMRESULT = unsigned int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;

// Result codes.
inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
inline constexpr MMRESULT MIDIERR_NOMAP = 66;
inline constexpr MMRESULT MIDIERR_NOTREADY = 67;
inline constexpr MMRESULT MIDIERR_NODEVICE = 68;
inline constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
inline constexpr MMRESULT MIDIERR_BADOPENMODE = 70;

inline constexpr UINT MAXERRORLENGTH = 256;
inline constexpr UINT MAXPNAMELEN = 32;

// Notifications.
inline constexpr UINT MM_MIM_OPEN = 0x3C1;
inline constexpr UINT MM_MIM_CLOSE = 0x3C2;
inline constexpr UINT MM_MIM_DATA = 0x3C3;
inline constexpr UINT MM_MIM_LONGDATA = 0x3C4;
inline constexpr UINT MM_MIM_ERROR = 0x3C5;
inline constexpr UINT MM_MIM_LONGERROR = 0x3C6;
inline constexpr UINT MM_MOM_OPEN = 0x3C7;
inline constexpr UINT MM_MOM_CLOSE = 0x3C8;
inline constexpr UINT MM_MOM_DONE = 0x3C9;
inline constexpr UINT MOM_DONE = MM_MOM_DONE;
inline constexpr UINT WM_CLOSE = 0x0010;

// How an open device reports: through a function, or by posting to a thread's queue.
inline constexpr DWORD CALLBACK_NULL = 0x00000000;
inline constexpr DWORD CALLBACK_THREAD = 0x00020000;
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

// Header flags.
inline constexpr DWORD MHDR_DONE = 0x00000001;
inline constexpr DWORD MHDR_PREPARED = 0x00000002;
inline constexpr DWORD MHDR_INQUEUE = 0x00000004;

// The long-message header: a buffer lent to the system for one long message.
struct MIDIHDR {
  char* lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  DWORD_PTR dwUser;
  DWORD dwFlags;
  MIDIHDR* lpNext;
  DWORD_PTR reserved;
  DWORD dwOffset;
  DWORD_PTR dwReserved[8];
};

struct MIDIINCAPS {
  std::string szPname;  // product name
};
struct MIDIOUTCAPS {
  std::string szPname;
};

// Opaque handles of open devices.
class MidiInDevice;
class MidiOutDevice;
using HMIDIIN = MidiInDevice*;
using HMIDIOUT = MidiOutDevice*;

// Function notification: (handle, message, instance, param1, param2). For MOM_DONE and
// MM_MIM_LONGDATA/LONGERROR param1 is the header; for MM_MIM_DATA the packed message.
using MidiInProc = void (*)(HMIDIIN, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using MidiOutProc = void (*)(HMIDIOUT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);

// The text of a result code, as the platform words it.
MMRESULT midiErrorText(MMRESULT code, std::string& text);

}  // namespace tonelink::mm
