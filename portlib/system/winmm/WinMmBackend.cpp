#include "portlib/system/winmm/WinMmBackend.h"

#include <new>
#include <utility>

#include "portlib/system/winmm/WinMmDevices.h"

namespace tonelink::mm {

namespace {

std::optional<std::string> nameOf(winmm::Result (*caps)(unsigned, winmm::DeviceName&), unsigned index, unsigned count) {
  if (index >= count) return std::nullopt;
  winmm::DeviceName name{};
  if (caps(index, name) != winmm::kNoError) return std::nullopt;
  return winmm::utf8Name(name);
}

template <class Opened, class Device, class... Args>
MMRESULT openDevice(unsigned index, unsigned count, std::unique_ptr<Device>& device, Args&&... args) {
  if (index >= count) return MMSYSERR_BADDEVICEID;
  try {
    auto opened = std::make_unique<Opened>(std::forward<Args>(args)...);
    const MMRESULT result = opened->open(index);
    if (result != MMSYSERR_NOERROR) return result;
    device = std::move(opened);
    return MMSYSERR_NOERROR;
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
}

}  // namespace

WinMmBackend::WinMmBackend(const winmm::WinMmApi& api, std::chrono::milliseconds sendGrace)
    : api_(api), sendGrace_(sendGrace) {
  refresh();
}

void WinMmBackend::refresh() {
  inputs_.store(api_.midiInGetNumDevs());
  outputs_.store(api_.midiOutGetNumDevs());
}

unsigned WinMmBackend::inputCount() { return inputs_.load(); }
unsigned WinMmBackend::outputCount() { return outputs_.load(); }

std::optional<std::string> WinMmBackend::inputName(unsigned index) {
  return nameOf(api_.midiInGetDevCapsW, index, inputs_.load());
}

std::optional<std::string> WinMmBackend::outputName(unsigned index) {
  return nameOf(api_.midiOutGetDevCapsW, index, outputs_.load());
}

MMRESULT WinMmBackend::openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) {
  return openDevice<winmm::WinMmInDevice>(index, inputs_.load(), device, api_);
}

MMRESULT WinMmBackend::openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) {
  return openDevice<winmm::WinMmOutDevice>(index, outputs_.load(), device, api_, sendGrace_);
}

}  // namespace tonelink::mm
