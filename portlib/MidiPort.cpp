#include "portlib/MidiPort.h"

namespace tonelink {

MidiPort::~MidiPort() = default;

unsigned MidiPort::setDeviceId(unsigned id) {
  const unsigned previous = deviceId_.load();
  if (id < deviceCount()) deviceId_.store(id);
  return previous;
}

unsigned MidiPort::getDeviceId() const { return deviceId_.load(); }

MMRESULT MidiPort::getErrorText(std::string& text) const {
  char buffer[mm::MAXERRORLENGTH] = {};
  const MMRESULT result = errorText(lastResult_.load(), buffer, sizeof buffer);
  text = buffer;
  return result;
}

MMRESULT MidiPort::getLastResult() const { return lastResult_.load(); }

void MidiPort::chooseInitialDevice(const std::optional<std::string>& instrumentName) {
  if (!instrumentName) return;
  const unsigned count = deviceCount();
  for (unsigned id = 0; id < count; ++id) {
    if (productName(id) == *instrumentName) {
      deviceId_.store(id);
      return;
    }
  }
}

}  // namespace tonelink
