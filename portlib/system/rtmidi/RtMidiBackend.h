// The real MIDI system through RtMidi, one API a backend: the ALSA sequencer or JACK.
// Each refresh asks the API for its ports again; an API that is not there (no
// /dev/snd/seq, no running JACK server) lists no device, and is asked again at the
// next refresh. A JACK backend never starts a JACK server.
//
// Device names are the API's name and the port's, e.g. "ALSA: Midi Through Port-0"
// or "JACK: system:midi_capture_1". The ports this process opened itself are not
// listed, so that opening a device does not move the positions of the others.
//
// RtMidi reports problems by exceptions and by printing; here every one becomes an
// MMRESULT code, and nothing is printed: RtMidi's error callback records instead,
// and the error output of libasound and libjack is switched off for the process.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "portlib/system/MidiSystem.h"

namespace tonelink::mm {

class RtMidiBackend final : public MidiBackend {
 public:
  enum class Api { Alsa, Jack };

  explicit RtMidiBackend(Api api);
  ~RtMidiBackend() override;

  void refresh() override;
  unsigned inputCount() override;
  unsigned outputCount() override;
  std::optional<std::string> inputName(unsigned index) override;
  std::optional<std::string> outputName(unsigned index) override;
  MMRESULT openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) override;
  MMRESULT openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) override;

  // One listed port: the name shown, and the API's own name of the port, which finds
  // it again when it is opened.
  struct Port {
    std::string name;
    std::string address;
  };

  // The listed ports made from the API's port names, in the API's order: the ports of
  // the client `ownClient` (this process's RtMidi objects) left out, names shown as
  // "<API>: <port>", and a name that appears more than once numbered " #2", " #3"...
  // ALSA names come as "client:port c:p"; the numbers change from run to run and are
  // not shown, and the client's name is left out when the port's name starts with it.
  static std::vector<Port> listPorts(Api api, const std::vector<std::string>& apiNames, const std::string& ownClient);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tonelink::mm
