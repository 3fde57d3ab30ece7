#include "tests/portlib/TestBackend.h"

#include <algorithm>
#include <utility>

namespace tonelink::test {

using namespace tonelink::mm;

// ---- devices ---------------------------------------------------------------

class TestOutDevice final : public MidiOutDevice {
 public:
  explicit TestOutDevice(std::shared_ptr<TestOutput> endpoint) : endpoint_(std::move(endpoint)) {}
  // The sender thread must end while this object is whole.
  ~TestOutDevice() override { close(); }

 protected:
  MMRESULT sendShort(std::span<const std::uint8_t> bytes) override { return endpoint_->sendShort(bytes); }
  MMRESULT sendLong(std::span<const std::uint8_t> bytes) override { return endpoint_->sendLong(bytes); }
  void closeTransport() override { endpoint_->closed(); }

 private:
  const std::shared_ptr<TestOutput> endpoint_;
};

class TestInDevice final : public MidiInDevice {
 public:
  explicit TestInDevice(std::shared_ptr<TestInput> endpoint) : endpoint_(std::move(endpoint)) {}
  ~TestInDevice() override { endpoint_->detach(this); }

  void receive(std::span<const std::uint8_t> bytes) { deliver(bytes); }

 protected:
  void closeTransport() override {
    endpoint_->closing(*this);
    endpoint_->detach(this);
  }

 private:
  const std::shared_ptr<TestInput> endpoint_;
};

// ---- output endpoint -------------------------------------------------------

void TestOutput::releaseOne() {
  {
    std::lock_guard lock(mutex_);
    ++credits_;
  }
  changed_.notify_all();
}

void TestOutput::releaseAll() {
  {
    std::lock_guard lock(mutex_);
    // A release that a held message has not taken yet is already counted in credits_.
    credits_ = std::max(credits_, held_);
  }
  changed_.notify_all();
}

void TestOutput::setAutoRelease(bool on) {
  {
    std::lock_guard lock(mutex_);
    autoRelease_ = on;
  }
  changed_.notify_all();
}

void TestOutput::setWatchdog(std::chrono::milliseconds limit) {
  std::lock_guard lock(mutex_);
  watchdog_ = limit;
}

bool TestOutput::waitForHeld(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return held_ >= count; });
}

bool TestOutput::waitForCompleted(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return completed_ >= count; });
}

std::size_t TestOutput::heldCount() const {
  std::lock_guard lock(mutex_);
  return held_;
}

std::size_t TestOutput::completedCount() const {
  std::lock_guard lock(mutex_);
  return completed_;
}

std::vector<TestOutput::Message> TestOutput::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<Bytes> TestOutput::longMessages() const {
  std::lock_guard lock(mutex_);
  std::vector<Bytes> result;
  for (const auto& m : messages_) {
    if (m.isLong) result.push_back(m.bytes);
  }
  return result;
}

std::vector<Bytes> TestOutput::shortMessages() const {
  std::lock_guard lock(mutex_);
  std::vector<Bytes> result;
  for (const auto& m : messages_) {
    if (!m.isLong) result.push_back(m.bytes);
  }
  return result;
}

void TestOutput::setShortResult(MMRESULT code) {
  std::lock_guard lock(mutex_);
  shortResult_ = code;
}

void TestOutput::setLongResult(MMRESULT code) {
  std::lock_guard lock(mutex_);
  longResult_ = code;
}

bool TestOutput::isOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

unsigned TestOutput::openCount() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

unsigned TestOutput::closeCount() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

bool TestOutput::watchdogFired() const {
  std::lock_guard lock(mutex_);
  return watchdogFired_;
}

MMRESULT TestOutput::sendShort(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  messages_.push_back({false, Bytes(bytes.begin(), bytes.end())});
  return shortResult_;
}

MMRESULT TestOutput::sendLong(std::span<const std::uint8_t> bytes) {
  std::unique_lock lock(mutex_);
  messages_.push_back({true, Bytes(bytes.begin(), bytes.end())});
  ++held_;
  changed_.notify_all();
  const bool released = changed_.wait_for(lock, watchdog_, [this] { return autoRelease_ || credits_ > 0; });
  if (!released) {
    watchdogFired_ = true;
  } else if (!autoRelease_) {
    --credits_;
  }
  --held_;
  ++completed_;
  changed_.notify_all();
  return longResult_;
}

bool TestOutput::tryOpen() {
  std::lock_guard lock(mutex_);
  if (open_) return false;
  open_ = true;
  ++opens_;
  return true;
}

void TestOutput::closed() {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
    open_ = false;
    ++closes_;
  }
  changed_.notify_all();
}

// ---- input endpoint --------------------------------------------------------

bool TestInput::inject(std::span<const std::uint8_t> bytes) {
  // Held while the device delivers, so that a device being closed waits for it; a
  // notification handler may inject again on the same thread.
  std::lock_guard delivering(deliverMutex_);
  TestInDevice* device = nullptr;
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    device = device_;
    hook = onDeliver_;
  }
  if (!device) return false;
  if (hook) hook();
  device->receive(bytes);
  return true;
}

void TestInput::setBeforeDetach(std::function<void(mm::MidiInDevice&)> hook) {
  std::lock_guard lock(mutex_);
  beforeDetach_ = std::move(hook);
}

void TestInput::setOnDeliver(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  onDeliver_ = std::move(hook);
}

void TestInput::closing(TestInDevice& device) {
  std::function<void(mm::MidiInDevice&)> hook;
  {
    std::lock_guard lock(mutex_);
    hook = beforeDetach_;
  }
  if (hook) hook(device);
}

bool TestInput::waitUntilOpen(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return device_ != nullptr; });
}

bool TestInput::isOpen() const {
  std::lock_guard lock(mutex_);
  return device_ != nullptr;
}

unsigned TestInput::openCount() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

unsigned TestInput::closeCount() const {
  std::lock_guard lock(mutex_);
  return closes_;
}

bool TestInput::attach(TestInDevice* device) {
  {
    std::lock_guard lock(mutex_);
    if (device_) return false;
    device_ = device;
    ++opens_;
  }
  changed_.notify_all();
  return true;
}

void TestInput::detach(TestInDevice* device) {
  {
    // Once this returns, no injection reaches the device.
    std::lock_guard delivering(deliverMutex_);
    std::lock_guard lock(mutex_);
    if (device_ != device) return;
    device_ = nullptr;
    ++closes_;
  }
  changed_.notify_all();
}

// ---- backend ---------------------------------------------------------------

TestBackend::TestBackend(std::vector<std::string> inputNames, std::vector<std::string> outputNames) {
  in_.listed = in_.pending = std::move(inputNames);
  out_.listed = out_.pending = std::move(outputNames);
}

TestBackend::~TestBackend() = default;

void TestBackend::setInputNames(std::vector<std::string> names) {
  std::lock_guard lock(mutex_);
  in_.pending = std::move(names);
}

void TestBackend::setOutputNames(std::vector<std::string> names) {
  std::lock_guard lock(mutex_);
  out_.pending = std::move(names);
}

void TestBackend::failInputCaps(unsigned index, bool fail) {
  std::lock_guard lock(mutex_);
  in_.failCaps[index] = fail;
}

void TestBackend::failOutputCaps(unsigned index, bool fail) {
  std::lock_guard lock(mutex_);
  out_.failCaps[index] = fail;
}

void TestBackend::failOpenInput(unsigned index, MMRESULT code) {
  std::lock_guard lock(mutex_);
  in_.failOpen[index] = code;
}

void TestBackend::failOpenOutput(unsigned index, MMRESULT code) {
  std::lock_guard lock(mutex_);
  out_.failOpen[index] = code;
}

std::shared_ptr<TestInput> TestBackend::input(unsigned index) {
  std::lock_guard lock(mutex_);
  auto& endpoint = inputs_[index];
  if (!endpoint) endpoint = std::make_shared<TestInput>();
  return endpoint;
}

std::shared_ptr<TestOutput> TestBackend::output(unsigned index) {
  std::lock_guard lock(mutex_);
  auto& endpoint = outputs_[index];
  if (!endpoint) endpoint = std::make_shared<TestOutput>();
  return endpoint;
}

unsigned TestBackend::refreshCount() const {
  std::lock_guard lock(mutex_);
  return refreshes_;
}

void TestBackend::refresh() {
  std::lock_guard lock(mutex_);
  in_.listed = in_.pending;
  out_.listed = out_.pending;
  ++refreshes_;
}

unsigned TestBackend::inputCount() {
  std::lock_guard lock(mutex_);
  return static_cast<unsigned>(in_.listed.size());
}

unsigned TestBackend::outputCount() {
  std::lock_guard lock(mutex_);
  return static_cast<unsigned>(out_.listed.size());
}

std::optional<std::string> TestBackend::inputName(unsigned index) {
  std::lock_guard lock(mutex_);
  if (index >= in_.listed.size() || in_.failCaps[index]) return std::nullopt;
  return in_.listed[index];
}

std::optional<std::string> TestBackend::outputName(unsigned index) {
  std::lock_guard lock(mutex_);
  if (index >= out_.listed.size() || out_.failCaps[index]) return std::nullopt;
  return out_.listed[index];
}

MMRESULT TestBackend::openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) {
  std::lock_guard lock(mutex_);
  if (index >= in_.listed.size()) return MMSYSERR_BADDEVICEID;
  if (const auto failure = in_.failOpen.find(index);
      failure != in_.failOpen.end() && failure->second != MMSYSERR_NOERROR) {
    return failure->second;
  }
  auto& endpoint = inputs_[index];
  if (!endpoint) endpoint = std::make_shared<TestInput>();
  auto opened = std::make_unique<TestInDevice>(endpoint);
  if (!endpoint->attach(opened.get())) return MMSYSERR_ALLOCATED;
  device = std::move(opened);
  return MMSYSERR_NOERROR;
}

MMRESULT TestBackend::openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) {
  std::lock_guard lock(mutex_);
  if (index >= out_.listed.size()) return MMSYSERR_BADDEVICEID;
  if (const auto failure = out_.failOpen.find(index);
      failure != out_.failOpen.end() && failure->second != MMSYSERR_NOERROR) {
    return failure->second;
  }
  auto& endpoint = outputs_[index];
  if (!endpoint) endpoint = std::make_shared<TestOutput>();
  if (!endpoint->tryOpen()) return MMSYSERR_ALLOCATED;
  device = std::make_unique<TestOutDevice>(endpoint);
  return MMSYSERR_NOERROR;
}

}  // namespace tonelink::test
