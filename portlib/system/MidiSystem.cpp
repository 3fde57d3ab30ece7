#include "portlib/system/MidiSystem.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tonelink::mm {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::unique_ptr<MidiBackend>> backends;
};

Registry& registry() {
  static Registry r;
  return r;
}

enum class Direction { In, Out };

unsigned countOf(MidiBackend& b, Direction d) { return d == Direction::In ? b.inputCount() : b.outputCount(); }

// The backend that holds device `id` of one direction, and the id's position in it.
MidiBackend* locate(Registry& r, Direction d, UINT id, unsigned& local) {
  for (auto& backend : r.backends) {
    const unsigned count = countOf(*backend, d);
    if (id < count) {
      local = id;
      return backend.get();
    }
    id -= count;
  }
  return nullptr;
}

UINT numDevs(Direction d) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  UINT total = 0;
  for (auto& backend : r.backends) {
    backend->refresh();
    total += countOf(*backend, d);
  }
  return total;
}

std::optional<std::string> deviceName(Direction d, UINT id, MMRESULT& result) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  unsigned local = 0;
  MidiBackend* backend = locate(r, d, id, local);
  if (!backend) {
    result = MMSYSERR_BADDEVICEID;
    return std::nullopt;
  }
  auto name = d == Direction::In ? backend->inputName(local) : backend->outputName(local);
  result = name ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
  return name;
}

bool validNotifier(DWORD flags, DWORD_PTR callback) {
  switch (flags) {
    case CALLBACK_NULL:
      return true;
    case CALLBACK_FUNCTION:
    case CALLBACK_THREAD:
      return callback != 0;
    default:
      return false;
  }
}

// Opens device `id` of one direction through the backend that holds it; the new
// device reports to `notifier`.
template <typename Device>
MMRESULT openDevice(Direction d, MMRESULT (MidiBackend::*open)(unsigned, std::unique_ptr<Device>&), Device** handle,
                    UINT id, const Notifier& notifier) {
  if (!handle) return MMSYSERR_INVALPARAM;
  *handle = nullptr;
  if (!validNotifier(notifier.flags, notifier.callback)) return MMSYSERR_INVALFLAG;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  unsigned local = 0;
  MidiBackend* backend = locate(r, d, id, local);
  if (!backend) return MMSYSERR_BADDEVICEID;
  std::unique_ptr<Device> device;
  const MMRESULT result = (backend->*open)(local, device);
  if (result != MMSYSERR_NOERROR) return result;
  if (!device) return MMSYSERR_ERROR;
  device->attach(notifier);
  *handle = device.release();
  return MMSYSERR_NOERROR;
}

MMRESULT errorText(MMRESULT code, char* text, UINT size) {
  if (!text || size == 0) return MMSYSERR_INVALPARAM;
  std::string message;
  const MMRESULT found = midiErrorText(code, message);
  const std::size_t n = std::min<std::size_t>(message.size(), size - 1);
  std::memcpy(text, message.data(), n);
  text[n] = '\0';
  return found;
}

}  // namespace

MMRESULT midiErrorText(MMRESULT code, std::string& text) {
  switch (code) {
    case MMSYSERR_NOERROR:
      text = "The specified command was carried out.";
      break;
    case MMSYSERR_ERROR:
      text = "Undefined external error.";
      break;
    case MMSYSERR_BADDEVICEID:
      text = "A device ID has been used that is out of range for your system.";
      break;
    case MMSYSERR_NOTENABLED:
      text = "The driver was not enabled.";
      break;
    case MMSYSERR_ALLOCATED:
      text = "The specified device is already in use. Wait until it is free, and then try again.";
      break;
    case MMSYSERR_INVALHANDLE:
      text = "The specified device handle is invalid.";
      break;
    case MMSYSERR_NODRIVER:
      text = "There is no driver installed on your system, or the device has gone away.";
      break;
    case MMSYSERR_NOMEM:
      text = "There is not enough memory available for this task.";
      break;
    case MMSYSERR_NOTSUPPORTED:
      text = "This function is not supported by the device.";
      break;
    case MMSYSERR_BADERRNUM:
      text = "An error number was specified that is not defined in the system.";
      break;
    case MMSYSERR_INVALFLAG:
      text = "An invalid flag was passed to a system function.";
      break;
    case MMSYSERR_INVALPARAM:
      text = "An invalid parameter was passed to a system function.";
      break;
    case MIDIERR_UNPREPARED:
      text = "The MIDI header was not prepared. Prepare the header, and then try again.";
      break;
    case MIDIERR_STILLPLAYING:
      text = "Cannot perform this operation while data is still being sent or received.";
      break;
    case MIDIERR_NOTREADY:
      text =
          "The port is transmitting data to the device. Wait until the data has been transmitted, and then try again.";
      break;
    case MIDIERR_NODEVICE:
      text = "The MIDI device is not connected or no longer exists.";
      break;
    case MMSYSERR_NODRIVERCB:
      text = "The driver did not call back.";
      break;
    case MIDIERR_NOMAP:
      text = "A MIDI map was not found.";
      break;
    case MIDIERR_INVALIDSETUP:
      text = "The MIDI setup is not valid.";
      break;
    case MIDIERR_BADOPENMODE:
      text = "The operation is not supported in the mode the device was opened in.";
      break;
    default:
      text = "An error number was specified that is not defined in the system.";
      return MMSYSERR_BADERRNUM;
  }
  return MMSYSERR_NOERROR;
}

void installMidiBackends(std::vector<std::unique_ptr<MidiBackend>> backends) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.backends = std::move(backends);
}

// ---- output ----------------------------------------------------------------

UINT midiOutGetNumDevs() { return numDevs(Direction::Out); }

MMRESULT midiOutGetDevCaps(UINT id, MIDIOUTCAPS* caps) {
  if (!caps) return MMSYSERR_INVALPARAM;
  MMRESULT result = MMSYSERR_NOERROR;
  if (auto name = deviceName(Direction::Out, id, result)) caps->szPname = std::move(*name);
  return result;
}

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  return openDevice(Direction::Out, &MidiBackend::openOutput, handle, id, {flags, callback, instance});
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message) {
  return handle ? handle->shortMessage(message) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  return size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : handle->prepare(header);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  return size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : handle->unprepare(header);
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  return size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : handle->longMessage(header);
}

MMRESULT midiOutClose(HMIDIOUT handle) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = handle->close();
  delete handle;
  return result;
}

MMRESULT midiOutGetErrorText(MMRESULT code, char* text, UINT size) { return errorText(code, text, size); }

// ---- input -----------------------------------------------------------------

UINT midiInGetNumDevs() { return numDevs(Direction::In); }

MMRESULT midiInGetDevCaps(UINT id, MIDIINCAPS* caps) {
  if (!caps) return MMSYSERR_INVALPARAM;
  MMRESULT result = MMSYSERR_NOERROR;
  if (auto name = deviceName(Direction::In, id, result)) caps->szPname = std::move(*name);
  return result;
}

MMRESULT midiInOpen(HMIDIIN* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  return openDevice(Direction::In, &MidiBackend::openInput, handle, id, {flags, callback, instance});
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  return size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : handle->prepare(header);
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  return size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : handle->unprepare(header);
}

MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT size) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  return size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : handle->addBuffer(header);
}

MMRESULT midiInStart(HMIDIIN handle) { return handle ? handle->start() : MMSYSERR_INVALHANDLE; }
MMRESULT midiInStop(HMIDIIN handle) { return handle ? handle->stop() : MMSYSERR_INVALHANDLE; }
MMRESULT midiInReset(HMIDIIN handle) { return handle ? handle->reset() : MMSYSERR_INVALHANDLE; }

MMRESULT midiInClose(HMIDIIN handle) {
  if (!handle) return MMSYSERR_INVALHANDLE;
  const MMRESULT result = handle->close();
  if (result == MMSYSERR_NOERROR) delete handle;
  return result;
}

MMRESULT midiInGetErrorText(MMRESULT code, char* text, UINT size) { return errorText(code, text, size); }

}  // namespace tonelink::mm
