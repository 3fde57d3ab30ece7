#include "portlib/system/virtual/VirtualInstrumentBackend.h"

#include <charconv>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>

#include "instrument/DemoSongs.h"
#include "instrument/DirectoryFileMemory.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/Instrument.h"

namespace tonelink::mm {

using quaverly::instrument::Instrument;

class VirtualInDevice;

// Lock order: lifeMutex may be held while the instrument is destroyed, which waits for
// the instrument's thread; that thread takes inputMutex (to hand a message to the
// input device) and never lifeMutex. inputMutex is never held while lifeMutex is taken.
struct VirtualInstrumentBackend::Shared {
  std::mutex lifeMutex;
  std::weak_ptr<Instrument> instrument;  // alive while an open device holds it
  bool inputOpen = false;
  bool outputOpen = false;

  std::mutex inputMutex;
  VirtualInDevice* input = nullptr;  // where the instrument's messages go; none: they are dropped

  void fromInstrument(std::span<const std::uint8_t> message);
};

namespace {

// The device number the instrument answers on: QUAVERLY_INSTRUMENT_DEVICE when it is
// a number from 0 to 15, else 0.
std::uint8_t configuredDeviceNumber() {
  const char* text = std::getenv("QUAVERLY_INSTRUMENT_DEVICE");
  if (!text) return 0;
  const std::string_view view(text);
  unsigned value = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (error != std::errc() || end != view.data() + view.size() || value > 15) return 0;
  return static_cast<std::uint8_t>(value);
}

// The instrument's file memory, as the environment chooses it. Nothing when the
// directory cannot be made.
std::unique_ptr<quaverly::instrument::FileMemory> makeMemory() {
  namespace fs = std::filesystem;
  const char* setting = std::getenv("QUAVERLY_INSTRUMENT_DIR");
  std::unique_ptr<quaverly::instrument::FileMemory> memory;
  if (setting && std::string_view(setting) == ":memory:") {
    memory = std::make_unique<quaverly::instrument::InMemoryFileMemory>();
  } else {
    const fs::path root = setting && *setting ? fs::path(setting) : quaverly::instrument::defaultInstrumentDirectory();
    std::error_code error;
    fs::create_directories(root, error);
    if (!fs::is_directory(root, error)) return nullptr;
    memory = std::make_unique<quaverly::instrument::DirectoryFileMemory>(root);
  }
  // A drive that could not take every song is still a working drive.
  quaverly::instrument::seedDemoSongsIfEmpty(*memory);
  return memory;
}

}  // namespace

// ---- devices ---------------------------------------------------------------

class VirtualOutDevice final : public MidiOutDevice {
 public:
  VirtualOutDevice(std::shared_ptr<VirtualInstrumentBackend::Shared> shared, std::shared_ptr<Instrument> instrument)
      : shared_(std::move(shared)), instrument_(std::move(instrument)) {}
  // The sender thread must end while this object is whole.
  ~VirtualOutDevice() override { close(); }

 protected:
  MMRESULT sendShort(std::span<const std::uint8_t>) override {
    return MMSYSERR_NOERROR;  // the instrument takes System Exclusive messages only
  }
  MMRESULT sendLong(std::span<const std::uint8_t> bytes) override {
    instrument_->receive(bytes);
    return MMSYSERR_NOERROR;
  }
  void closeTransport() override {
    std::lock_guard lock(shared_->lifeMutex);
    shared_->outputOpen = false;
    instrument_.reset();  // the last device to close ends the instrument
  }

 private:
  const std::shared_ptr<VirtualInstrumentBackend::Shared> shared_;  // outlives instrument_
  std::shared_ptr<Instrument> instrument_;                          // only the sender thread and closeTransport use it
};

class VirtualInDevice final : public MidiInDevice {
 public:
  VirtualInDevice(std::shared_ptr<VirtualInstrumentBackend::Shared> shared, std::shared_ptr<Instrument> instrument)
      : shared_(std::move(shared)), instrument_(std::move(instrument)) {}
  ~VirtualInDevice() override { detach(); }

  // On the instrument's thread, with the shared inputMutex held.
  void fromInstrument(std::span<const std::uint8_t> message) { deliver(message); }

 protected:
  void closeTransport() override { detach(); }

 private:
  void detach() {
    {
      // Once this returns, the instrument's thread is not inside fromInstrument() and
      // will not enter it again.
      std::lock_guard lock(shared_->inputMutex);
      if (shared_->input == this) shared_->input = nullptr;
    }
    std::lock_guard lock(shared_->lifeMutex);
    if (!instrument_) return;
    shared_->inputOpen = false;
    instrument_.reset();
  }

  const std::shared_ptr<VirtualInstrumentBackend::Shared> shared_;  // outlives instrument_
  std::shared_ptr<Instrument> instrument_;                          // guarded by shared_->lifeMutex
};

void VirtualInstrumentBackend::Shared::fromInstrument(std::span<const std::uint8_t> message) {
  std::lock_guard lock(inputMutex);
  if (input) input->fromInstrument(message);
}

// ---- backend ---------------------------------------------------------------

namespace {

// The running instrument, or a new one (lifeMutex held). Nothing with a code when it
// cannot be made.
std::shared_ptr<Instrument> instrumentFor(const std::shared_ptr<VirtualInstrumentBackend::Shared>& shared,
                                          MMRESULT& result) {
  if (auto running = shared->instrument.lock()) return running;
  try {
    auto memory = makeMemory();
    if (!memory) {
      result = MMSYSERR_ERROR;
      return nullptr;
    }
    quaverly::instrument::InstrumentOptions options;
    options.deviceNumber = configuredDeviceNumber();
    // The sender keeps the shared state alive for as long as the instrument can call it.
    auto instrument = std::make_shared<Instrument>(
        std::move(memory), options, [shared](std::span<const std::uint8_t> m) { shared->fromInstrument(m); });
    shared->instrument = instrument;
    return instrument;
  } catch (const std::bad_alloc&) {
    result = MMSYSERR_NOMEM;
  } catch (const std::exception&) {
    result = MMSYSERR_ERROR;
  }
  return nullptr;
}

}  // namespace

VirtualInstrumentBackend::VirtualInstrumentBackend() : shared_(std::make_shared<Shared>()) {}

VirtualInstrumentBackend::~VirtualInstrumentBackend() = default;

std::optional<std::string> VirtualInstrumentBackend::inputName(unsigned index) {
  if (index != 0) return std::nullopt;
  return std::string(kVirtualInstrumentName);
}

std::optional<std::string> VirtualInstrumentBackend::outputName(unsigned index) {
  if (index != 0) return std::nullopt;
  return std::string(kVirtualInstrumentName);
}

MMRESULT VirtualInstrumentBackend::openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) {
  if (index != 0) return MMSYSERR_BADDEVICEID;
  std::unique_ptr<VirtualInDevice> opened;
  {
    std::lock_guard lock(shared_->lifeMutex);
    if (shared_->inputOpen) return MMSYSERR_ALLOCATED;
    MMRESULT result = MMSYSERR_NOERROR;
    auto instrument = instrumentFor(shared_, result);
    if (!instrument) return result;
    opened = std::make_unique<VirtualInDevice>(shared_, std::move(instrument));
    shared_->inputOpen = true;
  }
  {
    // Bytes that arrive before the device is started are dropped by the device itself.
    std::lock_guard lock(shared_->inputMutex);
    shared_->input = opened.get();
  }
  device = std::move(opened);
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualInstrumentBackend::openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) {
  if (index != 0) return MMSYSERR_BADDEVICEID;
  std::lock_guard lock(shared_->lifeMutex);
  if (shared_->outputOpen) return MMSYSERR_ALLOCATED;
  MMRESULT result = MMSYSERR_NOERROR;
  auto instrument = instrumentFor(shared_, result);
  if (!instrument) return result;
  device = std::make_unique<VirtualOutDevice>(shared_, std::move(instrument));
  shared_->outputOpen = true;
  return MMSYSERR_NOERROR;
}

}  // namespace tonelink::mm
