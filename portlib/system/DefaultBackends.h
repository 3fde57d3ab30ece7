// The backends a running Tonelink lists, in order: on Linux the ALSA sequencer, JACK,
// then the built-in virtual instrument; on Windows the system's MIDI devices (winmm),
// then the virtual instrument. Each real Linux backend lists its devices only while its
// system is there (/dev/snd/seq can be opened; a JACK server runs), and looks again
// at every refresh, so a JACK server started later shows up without a restart.
#pragma once

#include <memory>
#include <vector>

#include "portlib/system/MidiSystem.h"

namespace tonelink::mm {

std::vector<std::unique_ptr<MidiBackend>> defaultMidiBackends();

}  // namespace tonelink::mm
