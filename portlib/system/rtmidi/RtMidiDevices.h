// The devices of the RtMidi backend: one RtMidi object each, connected to one port of
// the ALSA sequencer or of JACK. JACK devices share the backend's server watch, by
// which they check their connection and stop sending once the server is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "portlib/system/MidiDevice.h"
#include "portlib/system/rtmidi/JackServerWatch.h"
#include "portlib/system/rtmidi/RtMidiBackend.h"
#include "portlib/system/rtmidi/RtMidiObjects.h"

namespace tonelink::mm::rtmidi {

class RtMidiInDevice final : public MidiInDevice {
 public:
  // `client`: the client name of this process's RtMidi objects.
  RtMidiInDevice(RtMidiBackend::Api api, std::string client, std::shared_ptr<jack::ServerWatch> watch);
  ~RtMidiInDevice() override;

  // Connects to the port the API names `address`; called once, before the device is
  // attached.
  MMRESULT open(const std::string& address);

 protected:
  void closeTransport() override;

 private:
  // On RtMidi's input thread (ALSA) or JACK's process thread, with one whole message.
  static void onMessage(double, std::vector<unsigned char>* message, void* self);

  void shutDown();

  const RtMidiBackend::Api api_;
  const std::string client_;
  const std::shared_ptr<jack::ServerWatch> watch_;
  std::mutex gateMutex_;
  bool receiving_ = false;  // guarded by gateMutex_
  ErrorSink errors_;        // before midi_: RtMidi keeps a pointer to it
  std::unique_ptr<RtMidiIn> midi_;
};

class RtMidiOutDevice final : public MidiOutDevice {
 public:
  RtMidiOutDevice(RtMidiBackend::Api api, std::string client, std::shared_ptr<jack::ServerWatch> watch);
  // The sender thread must end while this object is whole.
  ~RtMidiOutDevice() override;

  // Connects to the port the API names `address`; called once, before the device is
  // attached.
  MMRESULT open(const std::string& address);

 protected:
  MMRESULT sendShort(std::span<const std::uint8_t> bytes) override;
  MMRESULT sendLong(std::span<const std::uint8_t> bytes) override;
  void closeTransport() override;

 private:
  MMRESULT send(std::span<const std::uint8_t> bytes);
  bool destinationPresent();

  const RtMidiBackend::Api api_;
  const std::string client_;
  const std::shared_ptr<jack::ServerWatch> watch_;
  std::mutex ioMutex_;
  std::string address_;
  std::size_t messageLimit_ = 0;
  ErrorSink errors_;                 // before midi_: RtMidi keeps a pointer to it
  std::unique_ptr<RtMidiOut> midi_;  // guarded by ioMutex_
};

}  // namespace tonelink::mm::rtmidi
