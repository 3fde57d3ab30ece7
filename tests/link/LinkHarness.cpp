#include "tests/link/LinkHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace quaverly::linktest {

using protocol::Link;

std::atomic<FakePortLibrary*> FakePortLibrary::current_{nullptr};

namespace {

// Ends the test program when one test runs far longer than any of them should, so
// that a hang shows as a failure naming the test instead of a silent stall.
class Watchdog final : public ::testing::EmptyTestEventListener {
 public:
  static constexpr std::chrono::seconds kTestLimit{90};

  Watchdog() : thread_([this] { run(); }) {}
  ~Watchdog() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  void OnTestStart(const ::testing::TestInfo& test) override {
    {
      std::lock_guard lock(mutex_);
      name_ = std::string(test.test_suite_name()) + "." + test.name();
      deadline_ = Clock::now() + kTestLimit;
      armed_ = true;
    }
    changed_.notify_all();
  }

  void OnTestEnd(const ::testing::TestInfo&) override {
    std::lock_guard lock(mutex_);
    armed_ = false;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      if (!armed_) {
        changed_.wait(lock);
      } else if (Clock::now() < deadline_) {
        changed_.wait_until(lock, deadline_);
      } else {
        std::fprintf(stderr, "watchdog: %s did not end within %lld s\n", name_.c_str(),
                     static_cast<long long>(kTestLimit.count()));
        std::fflush(stderr);
        std::abort();
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::string name_;
  Clock::time_point deadline_;
  bool armed_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: it uses everything above
};

// Google Test owns and deletes the listener.
[[maybe_unused]] const bool watchdogInstalled = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
  return true;
}();

}  // namespace

// ---- the fake port library ---------------------------------------------------

FakePortLibrary::FakePortLibrary() {
  input_.direction = 1;
  output_.direction = 0;
  for (protocol::PortFunctionTable* table :
       {static_cast<protocol::PortFunctionTable*>(&input_), static_cast<protocol::PortFunctionTable*>(&output_)}) {
    table->setDeviceId = &setDeviceId;
    table->getDeviceId = &getDeviceId;
    table->getErrorText = &getErrorText;
    table->getLastResult = &getLastResult;
  }
  input_.open = &inputOpen;
  input_.close = &inputClose;
  input_.start = &inputStart;
  input_.stop = &inputStop;
  output_.open = &outputOpen;
  output_.close = &outputClose;
  output_.write = &outputBytes;
  output_.dump = &outputBytes;

  current_.store(this);
  Link& link = Link::instance();
  link.setObserver(nullptr, nullptr);
  link.state() = protocol::LinkState{};
  link.setClock(nullptr);
  link.resetQueue();
  link.bind(&input_, &output_);
  timer_ = std::thread([this] { runTimer(); });
}

FakePortLibrary::~FakePortLibrary() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  timer_.join();
  Link& link = Link::instance();
  link.setObserver(nullptr, nullptr);
  link.bind(nullptr, nullptr);
  link.resetQueue();
  current_.store(nullptr);
}

FakePortLibrary* FakePortLibrary::current() { return current_.load(); }

void FakePortLibrary::setReceiver(Receiver receiver) {
  std::lock_guard lock(mutex_);
  receiver_ = std::move(receiver);
}

void FakePortLibrary::injectAfter(std::function<bool(const Bytes&)> when, Bytes stray) {
  std::lock_guard lock(mutex_);
  injectWhen_ = std::move(when);
  stray_ = std::move(stray);
}

void FakePortLibrary::deliver(std::span<const std::uint8_t> message) {
  // One delivery at a time, as from the library's single input thread, so that the
  // pieces of two messages never interleave.
  static std::mutex inputThread;
  const Bytes bytes(message.begin(), message.end());
  std::optional<Bytes> stray;
  {
    std::lock_guard delivering(inputThread);
    record(PortEvent::Kind::Delivered, bytes);
    if (split_.load() && bytes.size() >= 2) {
      const std::size_t half = bytes.size() / 2;
      protocol::linkReceive(bytes.data(), static_cast<int>(half));
      protocol::linkReceive(bytes.data() + half, static_cast<int>(bytes.size() - half));
    } else {
      protocol::linkReceive(bytes.data(), static_cast<int>(bytes.size()));
    }
    std::lock_guard lock(mutex_);
    if (injectWhen_ && injectWhen_(bytes)) {
      injectWhen_ = nullptr;
      stray = std::move(stray_);
    }
  }
  if (stray) deliver(*stray);
}

void FakePortLibrary::deliverLater(Bytes message, milliseconds delay) {
  {
    std::lock_guard lock(mutex_);
    timed_.emplace(Clock::now() + delay, std::move(message));
  }
  changed_.notify_all();
}

void FakePortLibrary::runTimer() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (timed_.empty()) {
      changed_.wait(lock);
      continue;
    }
    const auto first = timed_.begin();
    if (first->first > Clock::now()) {
      changed_.wait_until(lock, first->first);
      continue;
    }
    Bytes message = std::move(first->second);
    timed_.erase(first);
    lock.unlock();
    deliver(message);
    lock.lock();
  }
}

void FakePortLibrary::record(PortEvent::Kind kind, std::span<const std::uint8_t> bytes, std::string text,
                             milliseconds pause) {
  const Clock::time_point at = Link::instance().now();
  {
    std::lock_guard lock(mutex_);
    events_.push_back({kind, Bytes(bytes.begin(), bytes.end()), std::move(text), at, pause});
  }
  changed_.notify_all();
}

std::vector<PortEvent> FakePortLibrary::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<Bytes> FakePortLibrary::sent() const {
  std::lock_guard lock(mutex_);
  std::vector<Bytes> messages;
  for (const PortEvent& e : events_) {
    if (e.kind == PortEvent::Kind::Sent) messages.push_back(e.bytes);
  }
  return messages;
}

bool FakePortLibrary::waitFor(PortEvent::Kind kind, const std::function<bool(const Bytes&)>& pick,
                              milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return std::any_of(events_.begin(), events_.end(),
                       [&](const PortEvent& e) { return e.kind == kind && pick(e.bytes); });
  });
}

unsigned FakePortLibrary::setDeviceId(int, unsigned) { return 1; }
unsigned FakePortLibrary::getDeviceId(int) { return 0; }

unsigned FakePortLibrary::getErrorText(int, char* text, unsigned size) {
  if (text && size > 0) {
    std::strncpy(text, "test", size - 1);
    text[size - 1] = '\0';
  }
  return 0;
}

unsigned FakePortLibrary::getLastResult(int kind) {
  FakePortLibrary* self = current();
  return self ? self->lastResult_[kind == 1 ? 1 : 0].load() : 0;
}

int FakePortLibrary::inputOpen(ReceiveCallback, int, int, int) {
  FakePortLibrary* self = current();
  if (!self) return 0;
  self->record(PortEvent::Kind::InputOpen);
  const bool fails = self->inputOpenFails_.load();
  self->lastResult_[1].store(fails ? 4u : 0u);  // MMSYSERR_ALLOCATED
  return fails ? 0 : 1;
}

int FakePortLibrary::inputClose() {
  if (FakePortLibrary* self = current()) self->record(PortEvent::Kind::InputClose);
  return 1;
}

int FakePortLibrary::inputStart() {
  if (FakePortLibrary* self = current()) self->record(PortEvent::Kind::InputStart);
  return 1;
}

int FakePortLibrary::inputStop() {
  if (FakePortLibrary* self = current()) self->record(PortEvent::Kind::InputStop);
  return 1;
}

int FakePortLibrary::outputOpen(int) {
  FakePortLibrary* self = current();
  if (!self) return 0;
  self->record(PortEvent::Kind::OutputOpen);
  const bool fails = self->outputOpenFails_.load();
  self->lastResult_[0].store(fails ? 4u : 0u);
  return fails ? 0 : 1;
}

int FakePortLibrary::outputClose() {
  if (FakePortLibrary* self = current()) self->record(PortEvent::Kind::OutputClose);
  return 1;
}

int FakePortLibrary::outputBytes(const unsigned char* bytes, int length) {
  FakePortLibrary* self = current();
  if (!self || !bytes || length <= 0) return 0;
  self->dumpCalls_.fetch_add(1);
  if (const unsigned code = self->dumpError_.load()) {
    self->lastResult_[0].store(code);
    return 0;
  }
  if (const int busy = self->busyDumps_.load(); busy != 0) {
    if (busy > 0) self->busyDumps_.fetch_sub(1);
    self->lastResult_[0].store(0);
    return 0;
  }
  self->lastResult_[0].store(0);
  const Bytes message(bytes, bytes + length);
  self->record(PortEvent::Kind::Sent, message);
  Receiver receiver;
  {
    std::lock_guard lock(self->mutex_);
    receiver = self->receiver_;
  }
  if (receiver) receiver(message);
  return 1;
}

// ---- user interface ----------------------------------------------------------

void RecordingUi::showWait(std::string_view text) { ports_.record(PortEvent::Kind::WaitShown, {}, std::string(text)); }

void RecordingUi::closeWait() { ports_.record(PortEvent::Kind::WaitClosed); }

protocol::ConnectionTimings quickTimings() {
  protocol::ConnectionTimings t;
  t.settle = milliseconds(0);
  t.identifyLimit = milliseconds(2000);
  t.remoteModeDelay = milliseconds(0);
  t.remoteCheckLimit = milliseconds(2000);
  return t;
}

MessageCapture::MessageCapture(FakePortLibrary& ports) : ports_(ports) {
  const auto catalogue = builtInCatalogue();
  installCatalogue(catalogue.data(), catalogue.size(), Language::English);
  presenter_ = std::make_unique<ScopedMessagePresenter>([this](MessageStyle, std::string_view text) {
    ports_.record(PortEvent::Kind::Shown, {}, std::string(text));
    return MessageResult::Ok;
  });
}

MessageCapture::~MessageCapture() = default;

std::vector<int> MessageCapture::shown() const {
  std::vector<int> numbers;
  for (const PortEvent& e : ports_.events()) {
    if (e.kind == PortEvent::Kind::Shown) numbers.push_back(messageNumber(e.text));
  }
  return numbers;
}

int messageNumber(std::string_view text) {
  const auto catalogue = builtInCatalogue();
  for (std::size_t id = 1; id < catalogue.size(); ++id) {
    if (catalogue[id].english == text) return static_cast<int>(id);
  }
  return 0;
}

Bytes patternBytes(std::size_t size, std::uint32_t seed) {
  Bytes data(size);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 23);
  }
  return data;
}

std::string testName(std::string_view description) {
  std::string name;
  bool upper = true;
  for (const char c : description) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
      upper = true;
    } else {
      name += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
      upper = false;
    }
  }
  return name;
}

// ---- the harness with a virtual instrument ---------------------------------------

LinkHarness::LinkHarness(instrument::InstrumentOptions options) {
  instrument_ = std::make_unique<instrument::Instrument>(
      std::make_unique<instrument::InMemoryFileMemory>(), options,
      [this](std::span<const std::uint8_t> message) { ports_.deliver(message); });
  ports_.setReceiver([this](const Bytes& message) { instrument_->receive(message); });
  link().state().deviceNumber = options.deviceNumber;
}

LinkHarness::~LinkHarness() {
  ports_.setReceiver(nullptr);
  instrument_.reset();
}

instrument::InstrumentOptions LinkHarness::fastOptions() {
  instrument::InstrumentOptions o;
  o.timeScale = 0.01;
  // 2 ms between streamed blocks: the link's queue of 99 messages then holds a
  // fifth of a second of them, more than a busy machine keeps a reader waiting.
  o.blockInterval = milliseconds(200);
  o.sessionTimeout = std::chrono::hours(1);
  return o;
}

void LinkHarness::enterTransferMode() { link().send(protocol::buildRemoteMode(link().state().deviceNumber, true)); }

void LinkHarness::addFile(const instrument::MemoryPath& path, const Bytes& data) {
  bool stored = false;
  instrument_->withMemory([&](instrument::FileMemory& m) { stored = m.create(path) && m.append(path, data); });
  if (!stored) throw std::runtime_error("the instrument's memory did not take the file");
}

void LinkHarness::addFolder(const instrument::MemoryPath& path) {
  bool made = false;
  instrument_->withMemory([&](instrument::FileMemory& m) { made = m.makeFolder(path); });
  if (!made) throw std::runtime_error("the instrument's memory did not make the folder");
}

std::optional<Bytes> LinkHarness::fileContents(const instrument::MemoryPath& path) {
  std::optional<Bytes> data;
  instrument_->withMemory([&](instrument::FileMemory& m) { data = m.read(path); });
  return data;
}

LinkResult LinkHarness::sendFile(std::string_view path, const Bytes& data, protocol::PacingSettings pacing) {
  protocol::BulkTransfer bulk(link(), progress_, pacing);
  progress_.continueFlag.store(1);
  progress_.progressBytes.store(0);
  LinkResult result = bulk.sendHeader(static_cast<std::uint32_t>(data.size()), path);
  if (result == protocol::kLinkSuccess) result = bulk.sendBlocks(data);
  if (result == protocol::kLinkSuccess) result = bulk.sendEndOfData();
  return result;
}

LinkResult LinkHarness::receiveFile(std::string_view path, Bytes& data) {
  protocol::BulkTransfer bulk(link(), progress_, unpaced());
  progress_.continueFlag.store(1);
  progress_.progressBytes.store(0);
  std::uint32_t size = 0;
  LinkResult result = bulk.requestFile(path, size);
  if (result != protocol::kLinkSuccess) return result;
  data.assign(size, 0);
  result = bulk.receiveBlocks(data);
  if (result == protocol::kLinkSuccess) result = bulk.sendFinished();
  return result;
}

LinkResult LinkHarness::listFolder(std::string_view folder, std::vector<protocol::DirectoryEntry>& entries) {
  entries.clear();
  protocol::DirectoryEntry entry;
  LinkResult result =
      protocol::findFirst(link(), protocol::kFindMaskFoldersAndFiles, std::string(folder) + "\\*", entry);
  while (result == protocol::kLinkSuccess) {
    entries.push_back(entry);
    result = protocol::findNext(link(), entry);
  }
  return result;
}

}  // namespace quaverly::linktest
