// The one file that sees the system's own declarations: <mmsystem.h> and
// portlib/system/MmSystem.h must never meet in a translation unit.
#include "portlib/system/winmm/WinMmApi.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <new>

#include "app/platform/WindowsText.h"

namespace tonelink::mm::winmm {

namespace {

static_assert(kNoError == MMSYSERR_NOERROR && kError == MMSYSERR_ERROR && kBadDeviceId == MMSYSERR_BADDEVICEID &&
              kNotEnabled == MMSYSERR_NOTENABLED && kAllocated == MMSYSERR_ALLOCATED &&
              kInvalidHandle == MMSYSERR_INVALHANDLE && kNoDriver == MMSYSERR_NODRIVER && kNoMemory == MMSYSERR_NOMEM &&
              kNotSupported == MMSYSERR_NOTSUPPORTED && kBadErrorNumber == MMSYSERR_BADERRNUM &&
              kInvalidFlag == MMSYSERR_INVALFLAG && kInvalidParameter == MMSYSERR_INVALPARAM &&
              kNoDriverCallback == MMSYSERR_NODRIVERCB);
static_assert(kUnprepared == MIDIERR_UNPREPARED && kStillPlaying == MIDIERR_STILLPLAYING && kNoMap == MIDIERR_NOMAP &&
              kNotReady == MIDIERR_NOTREADY && kNoDevice == MIDIERR_NODEVICE && kInvalidSetup == MIDIERR_INVALIDSETUP &&
              kBadOpenMode == MIDIERR_BADOPENMODE);

static_assert(sizeof(MIDIHDR) <= sizeof(LongBuffer::system) && alignof(MIDIHDR) <= alignof(LongBuffer),
              "a buffer record must have room for the system's header");
static_assert(sizeof(WCHAR) == sizeof(char16_t) && kNameLength == MAXPNAMELEN);

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

// The system's header of a buffer. It exists from prepareHeader on; its dwUser leads
// back from a notification to the buffer record.
MIDIHDR* headerOf(LongBuffer* buffer) { return std::launder(reinterpret_cast<MIDIHDR*>(buffer->system)); }

MIDIHDR* newHeader(LongBuffer* buffer) {
  auto* header = new (buffer->system) MIDIHDR{};
  header->lpData = reinterpret_cast<LPSTR>(buffer->data);
  header->dwBufferLength = buffer->length;
  header->dwUser = reinterpret_cast<DWORD_PTR>(buffer);
  return header;
}

LongBuffer& bufferOf(DWORD_PTR header) {
  return *reinterpret_cast<LongBuffer*>(reinterpret_cast<const MIDIHDR*>(header)->dwUser);
}

HMIDIIN in(InHandle handle) { return reinterpret_cast<HMIDIIN>(handle); }
HMIDIOUT out(OutHandle handle) { return reinterpret_cast<HMIDIOUT>(handle); }

// The callbacks winmm calls; the instance is the device's event interface. Open and
// close notices carry nothing the devices need, and a faulty short message
// (MIM_ERROR) is dropped.
void CALLBACK inputProc(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* events = reinterpret_cast<InputEvents*>(instance);
  switch (message) {
    case MIM_DATA:
      events->shortData(static_cast<std::uint32_t>(param1));
      break;
    case MIM_LONGDATA:
    case MIM_LONGERROR:
      events->longData(bufferOf(param1), reinterpret_cast<const MIDIHDR*>(param1)->dwBytesRecorded,
                       message == MIM_LONGERROR);
      break;
    default:
      break;
  }
}

void CALLBACK outputProc(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  if (message == MOM_DONE) reinterpret_cast<OutputEvents*>(instance)->longDone(bufferOf(param1));
}

template <class Caps>
void copyName(const Caps& caps, DeviceName& name) {
  for (std::size_t i = 0; i < kNameLength; ++i) name[i] = static_cast<char16_t>(caps.szPname[i]);
}

// ---- input -----------------------------------------------------------------

unsigned inGetNumDevs() { return ::midiInGetNumDevs(); }

Result inGetDevCaps(unsigned id, DeviceName& name) {
  MIDIINCAPSW caps{};
  const MMRESULT result = ::midiInGetDevCapsW(id, &caps, sizeof caps);
  if (result == MMSYSERR_NOERROR) copyName(caps, name);
  return result;
}

Result inOpen(InHandle* handle, unsigned id, InputEvents* events) {
  HMIDIIN opened = nullptr;
  const MMRESULT result = ::midiInOpen(&opened, id, reinterpret_cast<DWORD_PTR>(&inputProc),
                                       reinterpret_cast<DWORD_PTR>(events), CALLBACK_FUNCTION);
  *handle = result == MMSYSERR_NOERROR ? reinterpret_cast<InHandle>(opened) : nullptr;
  return result;
}

Result inPrepare(InHandle handle, LongBuffer* buffer) {
  return ::midiInPrepareHeader(in(handle), newHeader(buffer), kHeaderSize);
}
Result inUnprepare(InHandle handle, LongBuffer* buffer) {
  return ::midiInUnprepareHeader(in(handle), headerOf(buffer), kHeaderSize);
}
Result inAddBuffer(InHandle handle, LongBuffer* buffer) {
  return ::midiInAddBuffer(in(handle), headerOf(buffer), kHeaderSize);
}
Result inStart(InHandle handle) { return ::midiInStart(in(handle)); }
Result inStop(InHandle handle) { return ::midiInStop(in(handle)); }
Result inReset(InHandle handle) { return ::midiInReset(in(handle)); }
Result inClose(InHandle handle) { return ::midiInClose(in(handle)); }

// ---- output ----------------------------------------------------------------

unsigned outGetNumDevs() { return ::midiOutGetNumDevs(); }

Result outGetDevCaps(unsigned id, DeviceName& name) {
  MIDIOUTCAPSW caps{};
  const MMRESULT result = ::midiOutGetDevCapsW(id, &caps, sizeof caps);
  if (result == MMSYSERR_NOERROR) copyName(caps, name);
  return result;
}

Result outOpen(OutHandle* handle, unsigned id, OutputEvents* events) {
  HMIDIOUT opened = nullptr;
  const MMRESULT result = ::midiOutOpen(&opened, id, reinterpret_cast<DWORD_PTR>(&outputProc),
                                        reinterpret_cast<DWORD_PTR>(events), CALLBACK_FUNCTION);
  *handle = result == MMSYSERR_NOERROR ? reinterpret_cast<OutHandle>(opened) : nullptr;
  return result;
}

Result outShortMsg(OutHandle handle, std::uint32_t packed) { return ::midiOutShortMsg(out(handle), packed); }
Result outPrepare(OutHandle handle, LongBuffer* buffer) {
  return ::midiOutPrepareHeader(out(handle), newHeader(buffer), kHeaderSize);
}
Result outUnprepare(OutHandle handle, LongBuffer* buffer) {
  return ::midiOutUnprepareHeader(out(handle), headerOf(buffer), kHeaderSize);
}
Result outLongMsg(OutHandle handle, LongBuffer* buffer) {
  return ::midiOutLongMsg(out(handle), headerOf(buffer), kHeaderSize);
}
Result outReset(OutHandle handle) { return ::midiOutReset(out(handle)); }
Result outClose(OutHandle handle) { return ::midiOutClose(out(handle)); }

}  // namespace

const WinMmApi& realWinMmApi() {
  static const WinMmApi api{
      .midiInGetNumDevs = &inGetNumDevs,
      .midiInGetDevCapsW = &inGetDevCaps,
      .midiInOpen = &inOpen,
      .midiInPrepareHeader = &inPrepare,
      .midiInUnprepareHeader = &inUnprepare,
      .midiInAddBuffer = &inAddBuffer,
      .midiInStart = &inStart,
      .midiInStop = &inStop,
      .midiInReset = &inReset,
      .midiInClose = &inClose,
      .midiOutGetNumDevs = &outGetNumDevs,
      .midiOutGetDevCapsW = &outGetDevCaps,
      .midiOutOpen = &outOpen,
      .midiOutShortMsg = &outShortMsg,
      .midiOutPrepareHeader = &outPrepare,
      .midiOutUnprepareHeader = &outUnprepare,
      .midiOutLongMsg = &outLongMsg,
      .midiOutReset = &outReset,
      .midiOutClose = &outClose,
  };
  return api;
}

std::string utf8Name(const DeviceName& name) {
  std::size_t length = 0;
  while (length < kNameLength && name[length] != u'\0') ++length;
  return quaverly::platform::utf8FromWide(std::wstring_view(reinterpret_cast<const wchar_t*>(name.data()), length));
}

}  // namespace tonelink::mm::winmm
