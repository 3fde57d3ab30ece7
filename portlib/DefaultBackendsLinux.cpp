#include "portlib/system/DefaultBackends.h"

#include "portlib/system/rtmidi/RtMidiBackend.h"
#include "portlib/system/virtual/VirtualInstrumentBackend.h"

namespace tonelink::mm {

std::vector<std::unique_ptr<MidiBackend>> defaultMidiBackends() {
  std::vector<std::unique_ptr<MidiBackend>> backends;
  backends.push_back(std::make_unique<RtMidiBackend>(RtMidiBackend::Api::Alsa));
  backends.push_back(std::make_unique<RtMidiBackend>(RtMidiBackend::Api::Jack));
  backends.push_back(std::make_unique<VirtualInstrumentBackend>());
  return backends;
}

}  // namespace tonelink::mm
