// The built-in virtual instrument as a MIDI backend: one input and one output device,
// both named "Quaverly Virtual Instrument". What the output device sends goes to an
// instrument of the instrument library; what the instrument answers arrives at the
// input device. The instrument exists while either device is open.
//
// Its file memory: the directory named by QUAVERLY_INSTRUMENT_DIR, or an in-memory
// drive when that variable is ":memory:", else the user's default instrument
// directory. A new or empty drive gets the demo songs. QUAVERLY_INSTRUMENT_DEVICE
// (0-15) sets the device number it answers on.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "portlib/system/MidiSystem.h"

namespace tonelink::mm {

inline constexpr const char* kVirtualInstrumentName = "Quaverly Virtual Instrument";

class VirtualInstrumentBackend final : public MidiBackend {
 public:
  VirtualInstrumentBackend();
  ~VirtualInstrumentBackend() override;

  unsigned inputCount() override { return 1; }
  unsigned outputCount() override { return 1; }
  std::optional<std::string> inputName(unsigned index) override;
  std::optional<std::string> outputName(unsigned index) override;
  // MMSYSERR_ALLOCATED while the device of that direction is open already.
  MMRESULT openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) override;
  MMRESULT openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) override;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace tonelink::mm
