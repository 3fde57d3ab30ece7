#include "portlib/TonelinkLibrary.h"

#include "portlib/CurrentInstrument.h"
#include "portlib/PortSelection.h"

namespace tonelink {

TonelinkLibrary::TonelinkLibrary() : inPort_(inputThread_.queue()) {
  const auto instrument = systemInstrumentName();
  inPort_.chooseInitialDevice(instrument);
  outPort_.chooseInitialDevice(instrument);
  inputThread_.start(inPort_);
  englishMode_ = systemWantsEnglish();
}

TonelinkLibrary::~TonelinkLibrary() {
  outPort_.close();
  inputThread_.stop();
  inPort_.close();
}

MidiPort& TonelinkLibrary::port(int kind) {
  if (kind == MidiPort::kInput) return inPort_;
  return outPort_;
}

int TonelinkLibrary::selectDevice(const char* title, const char* inLabel, const char* outLabel) {
  unsigned in = inPort_.getDeviceId();
  unsigned out = outPort_.getDeviceId();
  if (runPortSelectDialog(title, inLabel, outLabel, englishMode_, in, out)) {
    inPort_.setDeviceId(in);
    outPort_.setDeviceId(out);
  }
  return 1;
}

}  // namespace tonelink
