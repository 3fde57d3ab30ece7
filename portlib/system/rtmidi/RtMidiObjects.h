// RtMidi's objects as the backend uses them. RtMidi reports problems by exceptions and
// by printing; here its error callback records instead, and every problem becomes an
// MMRESULT code.
#pragma once

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "portlib/system/MmSystem.h"
#include "portlib/system/rtmidi/RtMidiBackend.h"

namespace tonelink::mm::rtmidi {

RtMidi::Api rtmidiApi(RtMidiBackend::Api api);

// True when this RtMidi was built with the API.
bool apiCompiled(RtMidiBackend::Api api);

// True when the ALSA sequencer device can be opened.
bool sequencerAvailable();

// The first error RtMidi reported through its error callback since the last take().
class ErrorSink {
 public:
  struct Error {
    RtMidiError::Type type;
    std::string text;
  };

  // RtMidi's error callback, with the sink as its user data.
  static void record(RtMidiError::Type type, const std::string& text, void* self);

  std::optional<Error> take();

 private:
  std::mutex mutex_;
  std::optional<Error> error_;
};

// When the error happened: opening a port or sending to it.
enum class Phase { Open, Send };

MMRESULT codeFor(RtMidiError::Type type, const std::string& text, Phase phase);
MMRESULT codeFor(const ErrorSink::Error& error, Phase phase);

// RtMidi objects made with the API named, under the client name `client`, and the
// error callback writing to `sink` installed at once. The constructors report through
// exceptions (and print) only when the API cannot start at all, which the callers
// rule out beforehand as far as they can; then `result` says why, and nothing is made.
std::unique_ptr<RtMidiIn> makeIn(RtMidiBackend::Api api, const std::string& client, ErrorSink& sink, MMRESULT& result);
std::unique_ptr<RtMidiOut> makeOut(RtMidiBackend::Api api, const std::string& client, ErrorSink& sink,
                                   MMRESULT& result);

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

// RtMidi's number now of the port named `address`.
template <class Midi>
std::optional<unsigned> portNumberOf(Midi& midi, const std::string& address) {
  const auto names = apiPortNames(midi);
  const auto found = std::find(names.begin(), names.end(), address);
  if (found == names.end()) return std::nullopt;
  return static_cast<unsigned>(found - names.begin());
}

}  // namespace tonelink::mm::rtmidi
