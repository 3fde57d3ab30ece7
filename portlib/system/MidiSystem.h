// The MIDI operations of the platform's multimedia interface, over a list of
// backends: the real MIDI system first, then the built-in virtual instrument. A
// device id is a position in the combined list of one direction.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "portlib/system/MidiDevice.h"
#include "portlib/system/MmSystem.h"

namespace tonelink::mm {

class MidiBackend {
 public:
  virtual ~MidiBackend() = default;
  // Reads the backend's devices again; positions stay fixed until the next refresh.
  virtual void refresh() {}
  virtual unsigned inputCount() = 0;
  virtual unsigned outputCount() = 0;
  // Nothing when the device cannot be asked.
  virtual std::optional<std::string> inputName(unsigned index) = 0;
  virtual std::optional<std::string> outputName(unsigned index) = 0;
  // A new device object, owned by the caller; nothing with a code on failure.
  virtual MMRESULT openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) = 0;
  virtual MMRESULT openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) = 0;
};

// Replaces the backends: the library installs the platform's default list when it
// loads, tests install their own. Without backends there are no devices.
void installMidiBackends(std::vector<std::unique_ptr<MidiBackend>> backends);

UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCaps(UINT id, MIDIOUTCAPS* caps);
MMRESULT midiOutOpen(HMIDIOUT* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD message);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT size);
MMRESULT midiOutClose(HMIDIOUT handle);
MMRESULT midiOutGetErrorText(MMRESULT code, char* text, UINT size);

UINT midiInGetNumDevs();
MMRESULT midiInGetDevCaps(UINT id, MIDIINCAPS* caps);
MMRESULT midiInOpen(HMIDIIN* handle, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT size);
MMRESULT midiInStart(HMIDIIN handle);
MMRESULT midiInStop(HMIDIIN handle);
MMRESULT midiInReset(HMIDIIN handle);
MMRESULT midiInClose(HMIDIIN handle);
MMRESULT midiInGetErrorText(MMRESULT code, char* text, UINT size);

}  // namespace tonelink::mm
