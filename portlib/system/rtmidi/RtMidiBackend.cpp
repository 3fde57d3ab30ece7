#include "portlib/system/rtmidi/RtMidiBackend.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "portlib/system/rtmidi/JackServerWatch.h"
#include "portlib/system/rtmidi/PortNames.h"
#include "portlib/system/rtmidi/RtMidiDevices.h"
#include "portlib/system/rtmidi/RtMidiObjects.h"

namespace tonelink::mm {

namespace {

using rtmidi::ErrorSink;

// libasound and libjack print their errors unless told otherwise; library code
// must not print, so both are silenced once for the process.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void silenceDriverLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack::silenceMessages();
    snd_lib_error_set_handler(quietAlsa);
  });
}

// The client name of this process's own RtMidi objects, by which their ports are
// recognised in the lists.
std::string ownClientName() { return "Tonelink-" + std::to_string(static_cast<long>(::getpid())); }

}  // namespace

struct RtMidiBackend::State {
  Api api;
  bool compiled;
  std::string client = ownClientName();
  std::vector<Port> inputs;
  std::vector<Port> outputs;
  // ALSA: one RtMidi object of each direction lists the ports.
  ErrorSink listerErrors;
  std::unique_ptr<RtMidiIn> alsaIn;
  std::unique_ptr<RtMidiOut> alsaOut;
  // JACK: our own client lists the ports and watches the server.
  std::shared_ptr<jack::ServerWatch> watch;

  bool available() const {
    if (!compiled) return false;
    if (api == Api::Alsa) return rtmidi::sequencerAvailable();
    return watch && !watch->gone();
  }
};

namespace {

// Opens the device of `ports` at `index` as a `Device`, connected to its port.
template <class Device, class Opened>
MMRESULT openDevice(RtMidiBackend::State& s, const std::vector<RtMidiBackend::Port>& ports, unsigned index,
                    std::unique_ptr<Opened>& device) {
  if (index >= ports.size()) return MMSYSERR_BADDEVICEID;
  if (!s.available()) return MIDIERR_NODEVICE;
  try {
    auto opened = std::make_unique<Device>(s.api, s.client, s.watch);
    const MMRESULT result = opened->open(ports[index].address);
    if (result != MMSYSERR_NOERROR) return result;
    device = std::move(opened);
    return MMSYSERR_NOERROR;
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;
  }
}

}  // namespace

RtMidiBackend::RtMidiBackend(Api api) : state_(std::make_unique<State>()) {
  silenceDriverLibraries();
  state_->api = api;
  state_->compiled = rtmidi::apiCompiled(api);
}

RtMidiBackend::~RtMidiBackend() = default;

void RtMidiBackend::refresh() {
  State& s = *state_;
  s.inputs.clear();
  s.outputs.clear();
  if (!s.compiled) return;
  try {
    if (s.api == Api::Alsa) {
      if (!rtmidi::sequencerAvailable()) {
        s.alsaIn.reset();
        s.alsaOut.reset();
        return;
      }
      MMRESULT ignored = MMSYSERR_NOERROR;
      if (!s.alsaIn) s.alsaIn = rtmidi::makeIn(s.api, s.client, s.listerErrors, ignored);
      if (!s.alsaOut) s.alsaOut = rtmidi::makeOut(s.api, s.client, s.listerErrors, ignored);
      if (s.alsaIn) s.inputs = listPorts(s.api, rtmidi::apiPortNames(*s.alsaIn), s.client);
      if (s.alsaOut) s.outputs = listPorts(s.api, rtmidi::apiPortNames(*s.alsaOut), s.client);
      s.listerErrors.take();
    } else {
      if (s.watch && s.watch->gone()) s.watch.reset();
      if (!s.watch) s.watch = jack::ServerWatch::open(s.client);
      if (!s.watch) return;
      s.inputs = listPorts(s.api, s.watch->midiSources(), s.client);
      s.outputs = listPorts(s.api, s.watch->midiDestinations(), s.client);
    }
  } catch (...) {
    s.inputs.clear();
    s.outputs.clear();
  }
}

unsigned RtMidiBackend::inputCount() { return static_cast<unsigned>(state_->inputs.size()); }
unsigned RtMidiBackend::outputCount() { return static_cast<unsigned>(state_->outputs.size()); }

std::optional<std::string> RtMidiBackend::inputName(unsigned index) {
  if (index >= state_->inputs.size()) return std::nullopt;
  return state_->inputs[index].name;
}

std::optional<std::string> RtMidiBackend::outputName(unsigned index) {
  if (index >= state_->outputs.size()) return std::nullopt;
  return state_->outputs[index].name;
}

MMRESULT RtMidiBackend::openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) {
  return openDevice<rtmidi::RtMidiInDevice>(*state_, state_->inputs, index, device);
}

MMRESULT RtMidiBackend::openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) {
  return openDevice<rtmidi::RtMidiOutDevice>(*state_, state_->outputs, index, device);
}

std::vector<RtMidiBackend::Port> RtMidiBackend::listPorts(Api api, const std::vector<std::string>& apiNames,
                                                          const std::string& ownClient) {
  std::vector<Port> ports;
  std::map<std::string, unsigned> seen;
  for (const std::string& apiName : apiNames) {
    if (apiName.empty() || rtmidi::isOwnClient(rtmidi::clientPart(apiName), ownClient)) continue;
    std::string name = rtmidi::shownName(api, apiName);
    const unsigned occurrence = ++seen[name];
    if (occurrence > 1) name += " #" + std::to_string(occurrence);
    ports.push_back({std::move(name), apiName});
  }
  return ports;
}

}  // namespace tonelink::mm
