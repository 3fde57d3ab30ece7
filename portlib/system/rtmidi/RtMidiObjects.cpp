#include "portlib/system/rtmidi/RtMidiObjects.h"

#include <unistd.h>

#include <new>
#include <utility>

namespace tonelink::mm::rtmidi {

namespace {

using Api = RtMidiBackend::Api;

constexpr const char* kSequencerDevice = "/dev/snd/seq";

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

}  // namespace

RtMidi::Api rtmidiApi(Api api) { return api == Api::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK; }

bool apiCompiled(Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), rtmidiApi(api)) != apis.end();
}

bool sequencerAvailable() { return ::access(kSequencerDevice, R_OK | W_OK) == 0; }

void ErrorSink::record(RtMidiError::Type type, const std::string& text, void* self) {
  if (type == RtMidiError::DEBUG_WARNING) return;
  auto& sink = *static_cast<ErrorSink*>(self);
  std::lock_guard lock(sink.mutex_);
  if (!sink.error_) sink.error_ = Error{type, text};
}

std::optional<ErrorSink::Error> ErrorSink::take() {
  std::lock_guard lock(mutex_);
  return std::exchange(error_, std::nullopt);
}

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

std::unique_ptr<RtMidiIn> makeIn(Api api, const std::string& client, ErrorSink& sink, MMRESULT& result) {
  return makeRtMidi<RtMidiIn>(api, client, sink, result, 100u);
}

std::unique_ptr<RtMidiOut> makeOut(Api api, const std::string& client, ErrorSink& sink, MMRESULT& result) {
  return makeRtMidi<RtMidiOut>(api, client, sink, result);
}

}  // namespace tonelink::mm::rtmidi
