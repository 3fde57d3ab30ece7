#include "portlib/win32/MidiDeviceNames.h"

#include <utility>

#include "portlib/system/MidiSystem.h"

namespace tonelink {

namespace {

template <typename Caps>
std::vector<std::string> deviceNames(mm::UINT count, mm::MMRESULT (*query)(mm::UINT, Caps*)) {
  std::vector<std::string> names;
  for (mm::UINT id = 0; id < count; ++id) {
    Caps caps{};
    if (query(id, &caps) == mm::MMSYSERR_NOERROR) names.push_back(std::move(caps.szPname));
  }
  return names;
}

}  // namespace

std::vector<std::string> midiInputNames() {
  return deviceNames<mm::MIDIINCAPS>(mm::midiInGetNumDevs(), &mm::midiInGetDevCaps);
}

std::vector<std::string> midiOutputNames() {
  return deviceNames<mm::MIDIOUTCAPS>(mm::midiOutGetNumDevs(), &mm::midiOutGetDevCaps);
}

}  // namespace tonelink
