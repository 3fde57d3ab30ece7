// One loaded Tonelink: its input port, output port and input thread, made at load
// and ended at unload. Every entry point works on the one instance.
#pragma once

#include "portlib/InputThread.h"
#include "portlib/MidiInPort.h"
#include "portlib/MidiOutPort.h"

namespace tonelink {

class TonelinkLibrary {
 public:
  // Uses the MIDI backends installed at the time: each port starts on the device
  // named as the system's current instrument.
  TonelinkLibrary();
  // Closes the output port, ends the input thread, then closes the input port.
  ~TonelinkLibrary();
  TonelinkLibrary(const TonelinkLibrary&) = delete;
  TonelinkLibrary& operator=(const TonelinkLibrary&) = delete;

  MidiInPort& inPort() { return inPort_; }
  MidiOutPort& outPort() { return outPort_; }
  // Kind 1 is the input port, any other value the output port.
  MidiPort& port(int kind);
  bool englishMode() const { return englishMode_; }

  // Shows the port selection dialog; after OK the chosen positions become the device
  // ids (positions that name no device are ignored). Always 1.
  int selectDevice(const char* title, const char* inLabel, const char* outLabel);

 private:
  InputThread inputThread_;  // first: the input port posts to its queue
  MidiInPort inPort_;
  MidiOutPort outPort_;
  bool englishMode_ = true;
};

}  // namespace tonelink
