#include "portlib/system/rtmidi/RtMidiDevices.h"

#include <algorithm>
#include <new>
#include <utility>

#include "portlib/system/rtmidi/JackOutputClose.h"
#include "portlib/system/rtmidi/PortNames.h"

namespace tonelink::mm::rtmidi {

namespace {

using Api = RtMidiBackend::Api;

constexpr const char* kInPortName = "Tonelink In";
constexpr const char* kOutPortName = "Tonelink Out";
// What RtMidi may keep of one incoming System Exclusive message before it reaches us;
// only some RtMidi APIs use it, the others grow their buffers as needed.
constexpr unsigned kInputBufferBytes = 4096;
constexpr unsigned kInputBufferCount = 4;
// RtMidi's JACK output queues each message in a ring of 16384 bytes together with
// its 4-byte length, and silently drops a message that cannot fit in it.
constexpr std::size_t kJackRingMessageLimit = 16384 - 1 - sizeof(int);

// True when the JACK port exists and one of this process's ports is connected to it.
bool connectedToOwnPort(jack::ServerWatch* watch, const std::string& address, const std::string& own) {
  if (!watch) return false;
  const auto peers = watch->connections(address);
  return std::any_of(peers.begin(), peers.end(),
                     [&](const std::string& peer) { return isOwnClient(clientPart(peer), own); });
}

// The most one message can carry on JACK: RtMidi's ring, and one period's MIDI buffer.
std::size_t jackMessageLimit(jack::ServerWatch& watch) {
  const std::size_t buffer = watch.midiBufferBytes();
  // Some of the period's buffer holds the event records.
  const std::size_t period = buffer > 64 ? buffer - 64 : 0;
  return std::min(kJackRingMessageLimit, period);
}

}  // namespace

// ---- input -----------------------------------------------------------------

RtMidiInDevice::RtMidiInDevice(Api api, std::string client, std::shared_ptr<jack::ServerWatch> watch)
    : api_(api), client_(std::move(client)), watch_(std::move(watch)) {}

RtMidiInDevice::~RtMidiInDevice() { shutDown(); }

MMRESULT RtMidiInDevice::open(const std::string& address) {
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
  if (api_ == Api::Jack && !connectedToOwnPort(watch_.get(), address, client_)) return MIDIERR_NODEVICE;
  return MMSYSERR_NOERROR;
}

void RtMidiInDevice::closeTransport() { shutDown(); }

void RtMidiInDevice::onMessage(double, std::vector<unsigned char>* message, void* self) {
  auto& device = *static_cast<RtMidiInDevice*>(self);
  if (!message) return;
  std::lock_guard lock(device.gateMutex_);
  if (device.receiving_) device.deliver(std::span<const std::uint8_t>(message->data(), message->size()));
}

void RtMidiInDevice::shutDown() {
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

// ---- output ----------------------------------------------------------------

RtMidiOutDevice::RtMidiOutDevice(Api api, std::string client, std::shared_ptr<jack::ServerWatch> watch)
    : api_(api), client_(std::move(client)), watch_(std::move(watch)) {}

RtMidiOutDevice::~RtMidiOutDevice() { close(); }

MMRESULT RtMidiOutDevice::open(const std::string& address) {
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
    if (!connectedToOwnPort(watch_.get(), address, client_)) return MIDIERR_NODEVICE;
    messageLimit_ = jackMessageLimit(*watch_);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT RtMidiOutDevice::sendShort(std::span<const std::uint8_t> bytes) { return send(bytes); }
MMRESULT RtMidiOutDevice::sendLong(std::span<const std::uint8_t> bytes) { return send(bytes); }

void RtMidiOutDevice::closeTransport() {
  std::lock_guard lock(ioMutex_);
  if (!midi_) return;
  if (api_ == Api::Jack) {
    jack::closeRtMidiOutput(*midi_);
  } else {
    try {
      midi_->closePort();
    } catch (...) {
    }
  }
  midi_.reset();
}

// Short messages come from the caller's thread, long ones from the sender thread; an
// RtMidi object takes one call at a time.
MMRESULT RtMidiOutDevice::send(std::span<const std::uint8_t> bytes) {
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
bool RtMidiOutDevice::destinationPresent() {
  if (api_ == Api::Jack) return connectedToOwnPort(watch_.get(), address_, client_);
  return sequencerAvailable() && portNumberOf(*midi_, address_).has_value();
}

}  // namespace tonelink::mm::rtmidi
