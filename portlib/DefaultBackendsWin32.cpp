#include "portlib/system/DefaultBackends.h"
#include "portlib/system/virtual/VirtualInstrumentBackend.h"
#include "portlib/system/winmm/WinMmBackend.h"

namespace tonelink::mm {

std::vector<std::unique_ptr<MidiBackend>> defaultMidiBackends() {
  std::vector<std::unique_ptr<MidiBackend>> backends;
  backends.push_back(std::make_unique<WinMmBackend>());
  backends.push_back(std::make_unique<VirtualInstrumentBackend>());
  return backends;
}

}  // namespace tonelink::mm
