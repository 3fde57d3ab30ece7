#include "portlib/system/rtmidi/RtMidiBackend.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <new>
#include <span>
#include <thread>
#include <utility>

namespace tonelink::mm {

namespace {

using Api = RtMidiBackend::Api;
using Port = RtMidiBackend::Port;

constexpr const char* kSequencerDevice = "/dev/snd/seq";
constexpr const char* kInPortName = "Tonelink In";
constexpr const char* kOutPortName = "Tonelink Out";
// What RtMidi may keep of one incoming System Exclusive message before it reaches us;
// only some RtMidi APIs use it, the others grow their buffers as needed.
constexpr unsigned kInputBufferBytes = 4096;
constexpr unsigned kInputBufferCount = 4;
// RtMidi's JACK output queues each message in a ring of 16384 bytes together with
// its 4-byte length, and silently drops a message that cannot fit in it.
constexpr std::size_t kJackRingMessageLimit = 16384 - 1 - sizeof(int);

RtMidi::Api rtmidiApi(Api api) { return api == Api::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK; }

// libasound and libjack print their errors unless told otherwise; library code
// must not print, so both are silenced once for the process.
void quietJack(const char*) {}
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

void silenceDriverLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    snd_lib_error_set_handler(quietAlsa);
  });
}

// The client name of this process's own RtMidi objects, by which their ports are
// recognised in the lists.
std::string ownClientName() { return "Tonelink-" + std::to_string(static_cast<long>(::getpid())); }

bool sequencerAvailable() { return ::access(kSequencerDevice, R_OK | W_OK) == 0; }

// The first error RtMidi reported through its error callback since the last take().
class ErrorSink {
 public:
  struct Error {
    RtMidiError::Type type;
    std::string text;
  };

  static void record(RtMidiError::Type type, const std::string& text, void* self) {
    if (type == RtMidiError::DEBUG_WARNING) return;
    auto& sink = *static_cast<ErrorSink*>(self);
    std::lock_guard lock(sink.mutex_);
    if (!sink.error_) sink.error_ = Error{type, text};
  }

  std::optional<Error> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(error_, std::nullopt);
  }

 private:
  std::mutex mutex_;
  std::optional<Error> error_;
};

enum class Phase { Open, Send };

MMRESULT codeFor(RtMidiError::Type type, const std::string& text, Phase phase) {
  switch (type) {
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE:
      return MIDIERR_NODEVICE;
    case RtMidiError::INVALID_PARAMETER:
      // When opening, the port number no longer names a port.
      return phase == Phase::Open ? MIDIERR_NODEVICE : MMSYSERR_INVALPARAM;
    case RtMidiError::MEMORY_ERROR:
      return MMSYSERR_NOMEM;
    case RtMidiError::DRIVER_ERROR:
      // The other side refused the connection, as a port held exclusively does.
      if (phase == Phase::Open && text.find("connection") != std::string::npos) return MMSYSERR_ALLOCATED;
      return MMSYSERR_ERROR;
    default:
      return MMSYSERR_ERROR;
  }
}

MMRESULT codeFor(const ErrorSink::Error& error, Phase phase) { return codeFor(error.type, error.text, phase); }

// RtMidi objects made with the API named and an error callback installed at once.
// The constructors report through exceptions (and print) only when the API cannot
// start at all, which the callers rule out beforehand as far as they can.
template <class Midi, class... Extra>
std::unique_ptr<Midi> makeRtMidi(Api api, const std::string& client, ErrorSink& sink, MMRESULT& result,
                                 Extra... extra) {
  try {
    auto midi = std::make_unique<Midi>(rtmidiApi(api), client, extra...);
    midi->setErrorCallback(&ErrorSink::record, &sink);
    return midi;
  } catch (const RtMidiError& e) {
    result = codeFor(e.getType(), e.getMessage(), Phase::Open);
  } catch (const std::bad_alloc&) {
    result = MMSYSERR_NOMEM;
  } catch (...) {
    result = MMSYSERR_ERROR;
  }
  return nullptr;
}

std::unique_ptr<RtMidiIn> makeIn(Api api, const std::string& client, ErrorSink& sink, MMRESULT& result) {
  return makeRtMidi<RtMidiIn>(api, client, sink, result, 100u);
}

std::unique_ptr<RtMidiOut> makeOut(Api api, const std::string& client, ErrorSink& sink, MMRESULT& result) {
  return makeRtMidi<RtMidiOut>(api, client, sink, result);
}

// The API's names of the ports an RtMidi object sees, in its order.
template <class Midi>
std::vector<std::string> apiPortNames(Midi& midi) {
  std::vector<std::string> names;
  try {
    const unsigned count = midi.getPortCount();
    for (unsigned i = 0; i < count; ++i) names.push_back(midi.getPortName(i));
  } catch (...) {
    names.clear();
  }
  return names;
}

template <class Midi>
std::optional<unsigned> portNumberOf(Midi& midi, const std::string& address) {
  const auto names = apiPortNames(midi);
  const auto found = std::find(names.begin(), names.end(), address);
  if (found == names.end()) return std::nullopt;
  return static_cast<unsigned>(found - names.begin());
}

// The client of a port name: what comes before the first colon.
std::string clientPart(const std::string& apiName) { return apiName.substr(0, apiName.find(':')); }

// JACK renames a client whose name is taken by appending "-01", "-02"...
bool isOwnClient(const std::string& client, const std::string& own) {
  if (client == own) return true;
  if (client.size() <= own.size() + 1 || client.compare(0, own.size(), own) != 0 || client[own.size()] != '-') {
    return false;
  }
  return std::all_of(client.begin() + static_cast<std::ptrdiff_t>(own.size()) + 1, client.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

// "client:port 20:0" without the trailing sequencer address.
std::string withoutAlsaAddress(const std::string& name) {
  const std::size_t space = name.rfind(' ');
  if (space == std::string::npos) return name;
  const std::string tail = name.substr(space + 1);
  const std::size_t colon = tail.find(':');
  const auto digits = [](const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
  };
  if (colon == std::string::npos || !digits(tail.substr(0, colon)) || !digits(tail.substr(colon + 1))) return name;
  return name.substr(0, space);
}

std::string shownName(Api api, const std::string& apiName) {
  if (api == Api::Jack) return "JACK: " + apiName;
  const std::string name = withoutAlsaAddress(apiName);
  const std::size_t colon = name.find(':');
  if (colon == std::string::npos) return "ALSA: " + name;
  const std::string client = name.substr(0, colon);
  const std::string port = name.substr(colon + 1);
  // "Midi Through:Midi Through Port-0" reads as "Midi Through Port-0".
  if (!client.empty() && port.compare(0, client.size(), client) == 0) return "ALSA: " + port;
  return "ALSA: " + name;
}

// ---- JACK ------------------------------------------------------------------

// A JACK client of our own that lists the ports and notices when the server goes
// away. Open devices share it, so that they stop sending once the server is gone:
// RtMidi's JACK output waits, spinning, for room in its ring, which a dead server
// never makes.
class JackWatch {
 public:
  static std::shared_ptr<JackWatch> open(const std::string& client) {
    jack_status_t status{};
    jack_client_t* handle = jack_client_open(client.c_str(), JackNoStartServer, &status);
    if (!handle) return nullptr;
    auto watch = std::shared_ptr<JackWatch>(new JackWatch(handle));
    // Called on a thread of libjack, until jack_client_close() in the destructor.
    jack_on_shutdown(
        handle, [](void* self) { static_cast<JackWatch*>(self)->gone_ = true; }, watch.get());
    return watch;
  }

  ~JackWatch() { jack_client_close(client_); }
  JackWatch(const JackWatch&) = delete;
  JackWatch& operator=(const JackWatch&) = delete;

  bool gone() const { return gone_; }

  // The MIDI ports with the given flags (JackPortIsOutput: sources; JackPortIsInput:
  // destinations).
  std::vector<std::string> ports(unsigned long flags) {
    std::vector<std::string> names;
    std::lock_guard lock(mutex_);
    if (gone_) return names;
    if (const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
      for (std::size_t i = 0; found[i]; ++i) names.emplace_back(found[i]);
      jack_free(found);
    }
    return names;
  }

  // True when the port exists and one of this process's ports is connected to it.
  bool connectedToOwnPort(const std::string& address, const std::string& own) {
    std::lock_guard lock(mutex_);
    if (gone_) return false;
    jack_port_t* port = jack_port_by_name(client_, address.c_str());
    if (!port) return false;
    bool connected = false;
    if (const char** peers = jack_port_get_all_connections(client_, port)) {
      for (std::size_t i = 0; peers[i] && !connected; ++i) connected = isOwnClient(clientPart(peers[i]), own);
      jack_free(peers);
    }
    return connected;
  }

  // The most one message can carry: RtMidi's ring, and one period's MIDI buffer.
  std::size_t messageLimit() {
    std::lock_guard lock(mutex_);
    const std::size_t buffer = jack_port_type_get_buffer_size(client_, JACK_DEFAULT_MIDI_TYPE);
    // Some of the period's buffer holds the event records.
    const std::size_t period = buffer > 64 ? buffer - 64 : 0;
    return std::min(kJackRingMessageLimit, period);
  }

 private:
  explicit JackWatch(jack_client_t* client) : client_(client) {}

  jack_client_t* const client_;
  std::atomic<bool> gone_{false};
  std::mutex mutex_;  // one libjack call at a time on this client
};

// ---- devices ---------------------------------------------------------------

class RtMidiInDevice final : public MidiInDevice {
 public:
  RtMidiInDevice(Api api, std::string client, std::shared_ptr<JackWatch> watch)
      : api_(api), client_(std::move(client)), watch_(std::move(watch)) {}
  ~RtMidiInDevice() override { shutDown(); }

  // Connects to the port; called once, before the device is attached.
  MMRESULT open(const std::string& address) {
    MMRESULT result = MMSYSERR_ERROR;
    midi_ = makeIn(api_, client_, errors_, result);
    if (!midi_) return result;
    try {
      // System Exclusive in; timing clock and active sensing are not needed.
      midi_->ignoreTypes(false, true, true);
      midi_->setBufferSize(kInputBufferBytes, kInputBufferCount);
      midi_->setCallback(&RtMidiInDevice::onMessage, this);
      const auto number = portNumberOf(*midi_, address);
      if (!number) return MIDIERR_NODEVICE;
      {
        std::lock_guard lock(gateMutex_);
        receiving_ = true;
      }
      midi_->openPort(*number, kInPortName);
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    } catch (...) {
      return MMSYSERR_ERROR;
    }
    if (const auto error = errors_.take()) return codeFor(*error, Phase::Open);
    // RtMidi's JACK input does not report a connection that failed.
    if (api_ == Api::Jack && !(watch_ && watch_->connectedToOwnPort(address, client_))) return MIDIERR_NODEVICE;
    return MMSYSERR_NOERROR;
  }

 protected:
  void closeTransport() override { shutDown(); }

 private:
  // On RtMidi's input thread (ALSA) or JACK's process thread, with one whole message.
  static void onMessage(double, std::vector<unsigned char>* message, void* self) {
    auto& device = *static_cast<RtMidiInDevice*>(self);
    if (!message) return;
    std::lock_guard lock(device.gateMutex_);
    if (device.receiving_) device.deliver(std::span<const std::uint8_t>(message->data(), message->size()));
  }

  void shutDown() {
    {
      // Waits for a message being delivered; none is delivered after this.
      std::lock_guard lock(gateMutex_);
      receiving_ = false;
    }
    // Closing the port ends RtMidi's input thread or JACK client. The callback is not
    // cancelled first: RtMidi clears it without synchronising with the thread that
    // calls it.
    if (midi_) {
      try {
        midi_->closePort();
      } catch (...) {
      }
      midi_.reset();
    }
  }

  const Api api_;
  const std::string client_;
  const std::shared_ptr<JackWatch> watch_;
  std::mutex gateMutex_;
  bool receiving_ = false;  // guarded by gateMutex_
  ErrorSink errors_;        // before midi_: RtMidi keeps a pointer to it
  std::unique_ptr<RtMidiIn> midi_;
};

class RtMidiOutDevice final : public MidiOutDevice {
 public:
  RtMidiOutDevice(Api api, std::string client, std::shared_ptr<JackWatch> watch)
      : api_(api), client_(std::move(client)), watch_(std::move(watch)) {}
  // The sender thread must end while this object is whole.
  ~RtMidiOutDevice() override { close(); }

  MMRESULT open(const std::string& address) {
    MMRESULT result = MMSYSERR_ERROR;
    std::lock_guard lock(ioMutex_);
    midi_ = makeOut(api_, client_, errors_, result);
    if (!midi_) return result;
    address_ = address;
    try {
      const auto number = portNumberOf(*midi_, address);
      if (!number) return MIDIERR_NODEVICE;
      midi_->openPort(*number, kOutPortName);
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    } catch (...) {
      return MMSYSERR_ERROR;
    }
    if (const auto error = errors_.take()) return codeFor(*error, Phase::Open);
    if (api_ == Api::Jack) {
      if (!(watch_ && watch_->connectedToOwnPort(address, client_))) return MIDIERR_NODEVICE;
      messageLimit_ = watch_->messageLimit();
    }
    return MMSYSERR_NOERROR;
  }

 protected:
  MMRESULT sendShort(std::span<const std::uint8_t> bytes) override { return send(bytes); }
  MMRESULT sendLong(std::span<const std::uint8_t> bytes) override { return send(bytes); }

  void closeTransport() override {
    std::lock_guard lock(ioMutex_);
    if (!midi_) return;
    try {
      midi_->closePort();
    } catch (...) {
    }
    // RtMidi's JACK output frees its ring buffer before it closes its client: give a
    // process cycle that is still running time to end before the object goes.
    if (api_ == Api::Jack) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    midi_.reset();
  }

 private:
  // Short messages come from the caller's thread, long ones from the sender thread;
  // an RtMidi object takes one call at a time.
  MMRESULT send(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(ioMutex_);
    if (!midi_) return MMSYSERR_INVALHANDLE;
    if (bytes.empty()) return MMSYSERR_INVALPARAM;
    if (!destinationPresent()) return MIDIERR_NODEVICE;
    if (api_ == Api::Jack && bytes.size() > messageLimit_) return MMSYSERR_NOTSUPPORTED;
    try {
      midi_->sendMessage(bytes.data(), bytes.size());
    } catch (const std::bad_alloc&) {
      return MMSYSERR_NOMEM;
    } catch (...) {
      return MMSYSERR_ERROR;
    }
    if (const auto error = errors_.take()) return codeFor(*error, Phase::Send);
    return MMSYSERR_NOERROR;
  }

  // RtMidi sends into the void when the other side has gone; ask the API instead.
  bool destinationPresent() {
    if (api_ == Api::Jack) return watch_ && watch_->connectedToOwnPort(address_, client_);
    return sequencerAvailable() && portNumberOf(*midi_, address_).has_value();
  }

  const Api api_;
  const std::string client_;
  const std::shared_ptr<JackWatch> watch_;
  std::mutex ioMutex_;
  std::string address_;
  std::size_t messageLimit_ = 0;
  ErrorSink errors_;                 // before midi_: RtMidi keeps a pointer to it
  std::unique_ptr<RtMidiOut> midi_;  // guarded by ioMutex_
};

bool apiCompiled(Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), rtmidiApi(api)) != apis.end();
}

}  // namespace

// ---- backend ---------------------------------------------------------------

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
  std::shared_ptr<JackWatch> watch;

  bool available() const {
    if (!compiled) return false;
    if (api == Api::Alsa) return sequencerAvailable();
    return watch && !watch->gone();
  }
};

RtMidiBackend::RtMidiBackend(Api api) : state_(std::make_unique<State>()) {
  silenceDriverLibraries();
  state_->api = api;
  state_->compiled = apiCompiled(api);
}

RtMidiBackend::~RtMidiBackend() = default;

void RtMidiBackend::refresh() {
  State& s = *state_;
  s.inputs.clear();
  s.outputs.clear();
  if (!s.compiled) return;
  try {
    if (s.api == Api::Alsa) {
      if (!sequencerAvailable()) {
        s.alsaIn.reset();
        s.alsaOut.reset();
        return;
      }
      MMRESULT ignored = MMSYSERR_NOERROR;
      if (!s.alsaIn) s.alsaIn = makeIn(s.api, s.client, s.listerErrors, ignored);
      if (!s.alsaOut) s.alsaOut = makeOut(s.api, s.client, s.listerErrors, ignored);
      if (s.alsaIn) s.inputs = listPorts(s.api, apiPortNames(*s.alsaIn), s.client);
      if (s.alsaOut) s.outputs = listPorts(s.api, apiPortNames(*s.alsaOut), s.client);
      s.listerErrors.take();
    } else {
      if (s.watch && s.watch->gone()) s.watch.reset();
      if (!s.watch) s.watch = JackWatch::open(s.client);
      if (!s.watch) return;
      s.inputs = listPorts(s.api, s.watch->ports(JackPortIsOutput), s.client);
      s.outputs = listPorts(s.api, s.watch->ports(JackPortIsInput), s.client);
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
  State& s = *state_;
  if (index >= s.inputs.size()) return MMSYSERR_BADDEVICEID;
  if (!s.available()) return MIDIERR_NODEVICE;
  try {
    auto opened = std::make_unique<RtMidiInDevice>(s.api, s.client, s.watch);
    const MMRESULT result = opened->open(s.inputs[index].address);
    if (result != MMSYSERR_NOERROR) return result;
    device = std::move(opened);
    return MMSYSERR_NOERROR;
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;
  }
}

MMRESULT RtMidiBackend::openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) {
  State& s = *state_;
  if (index >= s.outputs.size()) return MMSYSERR_BADDEVICEID;
  if (!s.available()) return MIDIERR_NODEVICE;
  try {
    auto opened = std::make_unique<RtMidiOutDevice>(s.api, s.client, s.watch);
    const MMRESULT result = opened->open(s.outputs[index].address);
    if (result != MMSYSERR_NOERROR) return result;
    device = std::move(opened);
    return MMSYSERR_NOERROR;
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;
  }
}

std::vector<RtMidiBackend::Port> RtMidiBackend::listPorts(Api api, const std::vector<std::string>& apiNames,
                                                          const std::string& ownClient) {
  std::vector<Port> ports;
  std::map<std::string, unsigned> seen;
  for (const std::string& apiName : apiNames) {
    if (apiName.empty() || isOwnClient(clientPart(apiName), ownClient)) continue;
    std::string name = shownName(api, apiName);
    const unsigned occurrence = ++seen[name];
    if (occurrence > 1) name += " #" + std::to_string(occurrence);
    ports.push_back({std::move(name), apiName});
  }
  return ports;
}

}  // namespace tonelink::mm
