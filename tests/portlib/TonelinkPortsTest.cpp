// The library's ports and input thread against the test backend: device ids and
// results, short and long output through the send slots, and input delivery in both
// notification modes.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "portlib/TonelinkLibrary.h"
#include "portlib/system/MidiSystem.h"
#include "tests/portlib/TestBackend.h"

namespace tonelink {
namespace {

using test::Bytes;
using test::TestBackend;
using namespace std::chrono_literals;

constexpr auto kWatchdog = 20s;

// What the library hands to the receive callback, and on which thread.
struct Collector {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<Bytes> messages;
  std::vector<std::thread::id> threads;

  void clear() {
    std::lock_guard lock(mutex);
    messages.clear();
    threads.clear();
  }
  bool waitFor(std::size_t count, std::chrono::milliseconds limit = kWatchdog) {
    std::unique_lock lock(mutex);
    return arrived.wait_for(lock, limit, [&] { return messages.size() >= count; });
  }
  std::vector<Bytes> snapshot() {
    std::lock_guard lock(mutex);
    return messages;
  }
};
Collector collector;

void collect(const unsigned char* bytes, int length) {
  std::lock_guard lock(collector.mutex);
  collector.messages.emplace_back(bytes, bytes + length);
  collector.threads.push_back(std::this_thread::get_id());
  collector.arrived.notify_all();
}

Bytes sysex(std::size_t length) {
  Bytes m(length, 0x11);
  m.front() = 0xF0;
  m.back() = 0xF7;
  return m;
}

// In thread mode a returned buffer is queued again by the input thread, a moment
// after the system gave it back: a message that arrives before then finds no buffer
// and is lost, as on the wire. Sends the message again until it gets through.
bool injectUntilDelivered(test::TestInput& source, const Bytes& message, std::size_t expectedCount) {
  const auto giveUp = std::chrono::steady_clock::now() + kWatchdog;
  while (std::chrono::steady_clock::now() < giveUp) {
    source.inject(message);
    if (collector.waitFor(expectedCount, 200ms)) return true;
  }
  return false;
}

class TonelinkPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    // No current instrument unless a test writes one.
    setenv("XDG_CONFIG_HOME", configDir().c_str(), 1);
    auto backend = std::make_unique<TestBackend>(std::vector<std::string>{"In A", "In B", "In C"},
                                                 std::vector<std::string>{"Out A", "Out B"});
    backend_ = backend.get();
    std::vector<std::unique_ptr<mm::MidiBackend>> list;
    list.push_back(std::move(backend));
    mm::installMidiBackends(std::move(list));
    collector.clear();
  }
  void TearDown() override {
    library_.reset();
    mm::installMidiBackends({});
  }

  static std::filesystem::path configDir() {
    return std::filesystem::temp_directory_path() / ("tonelink-ports-test-" + std::to_string(getpid()));
  }

  TonelinkLibrary& library() {
    if (!library_) library_ = std::make_unique<TonelinkLibrary>();
    return *library_;
  }

  TestBackend* backend_ = nullptr;
  std::unique_ptr<TonelinkLibrary> library_;
};

TEST_F(TonelinkPorts, DeviceIdsOutsideTheListAreIgnored) {
  MidiPort& in = library().port(1);
  EXPECT_EQ(in.setDeviceId(2), 0u);
  EXPECT_EQ(in.setDeviceId(3), 2u);  // equal to the count: refused, the current id comes back
  EXPECT_EQ(in.getDeviceId(), 2u);
  EXPECT_EQ(library().port(0).setDeviceId(2), 0u);
  EXPECT_EQ(library().port(0).getDeviceId(), 0u);
}

TEST_F(TonelinkPorts, EveryKindButOneIsTheOutputPort) {
  EXPECT_EQ(&library().port(1), static_cast<MidiPort*>(&library().inPort()));
  for (int kind : {0, 2, -1, 100}) EXPECT_EQ(&library().port(kind), static_cast<MidiPort*>(&library().outPort()));
}

TEST_F(TonelinkPorts, PortsStartOnTheCurrentInstrumentByExactName) {
  const auto dir = configDir() / "Microsoft";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "Windows.conf") << "[CurrentVersion]\nMultimedia\\MIDIMap\\CurrentInstrument=Out B\n";
  EXPECT_EQ(library().outPort().getDeviceId(), 1u);
  EXPECT_EQ(library().inPort().getDeviceId(), 0u);  // no input device has that name
  library_.reset();
  // Qt keeps the file's contents while its size and time stay the same, and a rewrite
  // within the same millisecond keeps both: a comment makes the new file another size.
  std::ofstream(dir / "Windows.conf")
      << "[CurrentVersion]\n; lower case\nMultimedia\\MIDIMap\\CurrentInstrument=out b\n";
  EXPECT_EQ(library().outPort().getDeviceId(), 0u);  // the comparison keeps case
  library_.reset();
  std::filesystem::remove_all(configDir());
}

TEST_F(TonelinkPorts, ErrorTextOfAFailedOpenAndOfSuccess) {
  backend_->failOpenOutput(0, mm::MMSYSERR_ALLOCATED);
  MidiOutPort& out = library().outPort();
  EXPECT_EQ(out.open(-1, false), 0);
  EXPECT_EQ(out.getLastResult(), mm::MMSYSERR_ALLOCATED);
  std::string text;
  EXPECT_EQ(out.getErrorText(text), mm::MMSYSERR_NOERROR);
  EXPECT_NE(text.find("in use"), std::string::npos) << text;
  backend_->failOpenOutput(0, mm::MMSYSERR_NOERROR);
  EXPECT_EQ(out.open(-1, false), 1);
  EXPECT_EQ(out.getLastResult(), 0u);
  EXPECT_EQ(out.getErrorText(text), mm::MMSYSERR_NOERROR);
  EXPECT_EQ(text, "The specified command was carried out.");
}

TEST_F(TonelinkPorts, ShortAndLongOutput) {
  auto sink = backend_->output(0);
  sink->setAutoRelease(true);
  MidiOutPort& out = library().outPort();
  const std::uint8_t noteOn[] = {0x90, 0x3C, 0x64};
  EXPECT_EQ(out.write(noteOn, 3), 1);  // writing opens a closed port
  const std::uint8_t four[] = {0x90, 0x3C, 0x64, 0x00};
  EXPECT_EQ(out.write(four, 4), 1);
  const std::uint8_t reset[] = {0xFF};
  EXPECT_EQ(out.write(reset, 1), 1);
  const std::uint8_t one[] = {0x42};
  EXPECT_EQ(out.dump(one, 1), 1);
  EXPECT_EQ(out.dump(one, 0), 0);
  EXPECT_EQ(out.dump(nullptr, 3), 0);
  EXPECT_EQ(out.getLastResult(), 0u);
  ASSERT_TRUE(sink->waitForCompleted(3, kWatchdog));
  EXPECT_EQ(sink->shortMessages(), (std::vector<Bytes>{{0x90, 0x3C, 0x64}}));
  EXPECT_EQ(sink->longMessages(), (std::vector<Bytes>{{0x90, 0x3C, 0x64, 0x00}, {0xFF}, {0x42}}));
  EXPECT_FALSE(out.synchronous());
}

// A message that starts with a data byte continues the running status: it is sent as
// a short message, the transport given the whole message.
TEST_F(TonelinkPorts, RunningStatusIsSentAsAShortMessage) {
  auto sink = backend_->output(0);
  sink->setAutoRelease(true);
  MidiOutPort& out = library().outPort();
  const std::vector<Bytes> written = {{0x3C, 0x64}, {0x90, 0x3C, 0x64}, {0x3E, 0x50}, {0xC1, 0x05}, {0x07}};
  for (const Bytes& message : written) {
    EXPECT_EQ(out.write(message.data(), static_cast<int>(message.size())), 1);
  }
  const Bytes sysex = {0xF0, 0x7E, 0xF7};
  ASSERT_EQ(out.dump(sysex.data(), 3), 1);
  const Bytes afterSysex = {0x40, 0x40};
  EXPECT_EQ(out.write(afterSysex.data(), 2), 1);
  ASSERT_TRUE(sink->waitForCompleted(1, kWatchdog));
  // With no status before them, or after System Exclusive ended the running status,
  // the data bytes go out as they are.
  EXPECT_EQ(sink->shortMessages(),
            (std::vector<Bytes>{
                {0x3C, 0x64}, {0x90, 0x3C, 0x64}, {0x90, 0x3E, 0x50}, {0xC1, 0x05}, {0xC1, 0x07}, {0x40, 0x40}}));
}

TEST_F(TonelinkPorts, SeventeenthDumpFailsUntilASlotIsFree) {
  auto sink = backend_->output(0);
  MidiOutPort& out = library().outPort();
  ASSERT_EQ(out.open(-1, false), 1);
  const Bytes message = sysex(8);
  for (int i = 0; i < 16; ++i) ASSERT_EQ(out.dump(message.data(), 8), 1) << i;
  // The first is in the transport, fifteen wait behind it: all 16 slots are busy.
  ASSERT_TRUE(sink->waitForHeld(1, kWatchdog));
  EXPECT_EQ(out.dump(message.data(), 8), 0);
  EXPECT_EQ(out.getLastResult(), 0u);  // no system call failed
  sink->releaseOne();
  ASSERT_TRUE(sink->waitForCompleted(1, kWatchdog));
  // The busy mark is cleared by the completion that follows the transport's send.
  const auto giveUp = std::chrono::steady_clock::now() + kWatchdog;
  int sent = 0;
  while (!(sent = out.dump(message.data(), 8)) && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(sent, 1);
  EXPECT_EQ(out.getLastResult(), 0u);
  sink->setAutoRelease(true);
  ASSERT_TRUE(sink->waitForCompleted(17, kWatchdog));
  EXPECT_EQ(out.close(), 1);
}

TEST_F(TonelinkPorts, SynchronousModeWaitsForTheSystemAndSwitchesWithoutReopening) {
  auto sink = backend_->output(0);
  MidiOutPort& out = library().outPort();
  ASSERT_EQ(out.open(-1, false), 1);
  ASSERT_EQ(out.open(-1, true), 1);
  EXPECT_TRUE(out.synchronous());
  EXPECT_EQ(sink->openCount(), 1u);
  const Bytes message = sysex(10);
  auto sent = std::async(std::launch::async, [&] { return out.dump(message.data(), 10); });
  ASSERT_TRUE(sink->waitForHeld(1, kWatchdog));
  EXPECT_EQ(sent.wait_for(50ms), std::future_status::timeout);
  sink->releaseOne();
  EXPECT_EQ(sent.get(), 1);
  EXPECT_EQ(sink->completedCount(), 1u);
}

TEST_F(TonelinkPorts, CloseSendsWhatIsQueuedAndIsIdempotent) {
  auto sink = backend_->output(0);
  sink->setAutoRelease(true);
  MidiOutPort& out = library().outPort();
  EXPECT_EQ(out.close(), 1);  // closed: nothing happens
  EXPECT_EQ(sink->openCount(), 0u);
  const Bytes message = sysex(9);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(out.dump(message.data(), 9), 1);
  EXPECT_EQ(out.close(), 1);
  EXPECT_EQ(sink->longMessages().size(), 5u);
  EXPECT_EQ(sink->closeCount(), 1u);
  EXPECT_FALSE(out.isOpen());
}

class TonelinkInput : public TonelinkPorts, public ::testing::WithParamInterface<int> {};

TEST_P(TonelinkInput, DeliversChannelMessagesWithTheirLengthAndDropsSystemStatuses) {
  auto source = backend_->input(0);
  MidiInPort& in = library().inPort();
  ASSERT_EQ(in.open(&collect, -1, GetParam(), 50), 1);
  ASSERT_EQ(in.start(), 1);
  source->inject({0xF8});
  source->inject({0x90, 0x3C, 0x64});
  source->inject({0xFE});
  source->inject({0xC0, 0x05});
  source->inject({0xD3, 0x40});
  ASSERT_TRUE(collector.waitFor(3));
  EXPECT_EQ(collector.snapshot(), (std::vector<Bytes>{{0x90, 0x3C, 0x64}, {0xC0, 0x05}, {0xD3, 0x40}}));
  EXPECT_EQ(in.close(), 1);
}

TEST_P(TonelinkInput, ALongMessageArrivesInPiecesOfAtMost1024Bytes) {
  auto source = backend_->input(0);
  MidiInPort& in = library().inPort();
  ASSERT_EQ(in.open(&collect, -1, GetParam(), 50), 1);
  ASSERT_EQ(in.start(), 1);
  const Bytes message = sysex(3000);
  source->inject(message);
  ASSERT_TRUE(collector.waitFor(3));
  const auto pieces = collector.snapshot();
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].size(), 1024u);
  EXPECT_EQ(pieces[1].size(), 1024u);
  EXPECT_EQ(pieces[2].size(), 952u);
  EXPECT_EQ(pieces[0].front(), 0xF0);
  EXPECT_EQ(pieces[2].back(), 0xF7);
  // Every buffer comes back to the system: a stream longer than 16 buffers gets
  // through when the messages come one after the other.
  collector.clear();
  for (std::size_t i = 1; i <= 40; ++i) {
    source->inject(sysex(200));
    ASSERT_TRUE(collector.waitFor(i)) << i;
  }
  EXPECT_EQ(in.close(), 1);
}

TEST_P(TonelinkInput, ShiftJisBytesInsideAWholeSysexStayInTheMessage) {
  auto source = backend_->input(0);
  MidiInPort& in = library().inPort();
  ASSERT_EQ(in.open(&collect, -1, GetParam(), 50), 1);
  ASSERT_EQ(in.start(), 1);
  // A listing reply naming a file in katakana: its bytes have bit 7 set.
  const Bytes reply = {0xF0, 0x43, 0x50, 0x00, 0x01, 0x04, 0x01, 0x20, 0,    0,
                       0,    1,    '0',  ':',  '\\', 0x83, 0x5C, 0x83, 0x93, 0xF7};
  source->inject(reply);
  ASSERT_TRUE(collector.waitFor(1));
  EXPECT_EQ(collector.snapshot(), std::vector<Bytes>{reply});
  EXPECT_EQ(in.close(), 1);
}

TEST_P(TonelinkInput, BuffersReturnedEmptyByAStopAreQueuedAgainWithoutDelivery) {
  auto source = backend_->input(0);
  MidiInPort& in = library().inPort();
  ASSERT_EQ(in.open(&collect, -1, GetParam(), 50), 1);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(in.start(), 1);
    ASSERT_EQ(in.stop(), 1);  // the reset returns all 16 buffers with 0 bytes
  }
  ASSERT_EQ(in.start(), 1);
  // Had the empty buffers not been queued again, these would find none.
  ASSERT_TRUE(injectUntilDelivered(*source, sysex(16), 1));
  const std::size_t first = collector.snapshot().size();
  for (std::size_t i = 1; i <= 20; ++i) {
    source->inject(sysex(16));
    ASSERT_TRUE(collector.waitFor(first + i)) << i;
  }
  for (const Bytes& m : collector.snapshot()) EXPECT_EQ(m, sysex(16));  // nothing from the empty buffers
  EXPECT_EQ(in.close(), 1);
}

TEST_P(TonelinkInput, OpeningAnOpenPortKeepsItsSettingsAndCloseIsIdempotent) {
  auto source = backend_->input(1);
  MidiInPort& in = library().inPort();
  EXPECT_EQ(in.close(), 1);
  EXPECT_EQ(source->openCount(), 0u);
  ASSERT_EQ(in.open(&collect, 1, GetParam(), 30), 1);
  EXPECT_EQ(in.open(nullptr, 2, 1 - GetParam(), 99), 1);
  EXPECT_EQ(in.getDeviceId(), 1u);
  EXPECT_EQ(in.receiveMode(), GetParam());
  EXPECT_EQ(in.idleSleep(), 30);
  EXPECT_EQ(source->openCount(), 1u);
  ASSERT_EQ(in.start(), 1);
  source->inject({0x80, 0x40, 0x00});
  ASSERT_TRUE(collector.waitFor(1));  // the first callback is still registered
  EXPECT_EQ(in.close(), 1);
  EXPECT_EQ(in.close(), 1);
  EXPECT_EQ(source->closeCount(), 1u);
  EXPECT_FALSE(in.isOpen());
  // Input after the close reaches nobody.
  EXPECT_FALSE(source->inject({0x90, 0x40, 0x40}));
}

// Closing waits for the transport to stop delivering. A delivery under way holds the
// transport's lock and may wait for the port: the close must not hold the port's lock
// meanwhile. The test backend delivers from a thread of its own exactly while the
// device closes.
TEST_P(TonelinkInput, CloseDoesNotHangOnADeliveryThatWaitsForThePort) {
  auto source = backend_->input(0);
  MidiInPort& in = library().inPort();
  ASSERT_EQ(in.open(&collect, -1, GetParam(), 50), 1);
  ASSERT_EQ(in.start(), 1);
  char data[64] = {};
  mm::MIDIHDR stray{};
  stray.lpData = data;
  stray.dwBufferLength = sizeof data;
  std::promise<void> delivering;
  std::thread deliverer;
  source->setOnDeliver([&] { delivering.set_value(); });
  source->setBeforeDetach([&](mm::MidiInDevice& device) {
    device.start();
    device.prepare(&stray);
    device.addBuffer(&stray);
    deliverer = std::thread([&] { source->inject(sysex(16)); });
    delivering.get_future().wait();  // the transport's lock is held from here on
  });
  auto closed = std::async(std::launch::async, [&] { return in.close(); });
  if (closed.wait_for(kWatchdog) != std::future_status::ready) {
    std::fprintf(stderr, "the close of the input port hung\n");
    std::abort();  // the threads are deadlocked: nothing could end them
  }
  EXPECT_EQ(closed.get(), 1);
  deliverer.join();
  source->setBeforeDetach(nullptr);
  source->setOnDeliver(nullptr);
  EXPECT_TRUE(collector.snapshot().empty()) << "a buffer that is not the port's was delivered";
  EXPECT_FALSE(in.isOpen());
}

TEST_F(TonelinkPorts, ThreadModeDeliversOnTheInputThreadAndFunctionModeOnTheSystems) {
  auto source = backend_->input(0);
  MidiInPort& in = library().inPort();
  ASSERT_EQ(in.open(&collect, -1, MidiInPort::kModeThread, 50), 1);
  ASSERT_EQ(in.start(), 1);
  source->inject({0x90, 1, 2});
  ASSERT_TRUE(collector.waitFor(1));
  {
    std::lock_guard lock(collector.mutex);
    EXPECT_NE(collector.threads.front(), std::this_thread::get_id());
  }
  ASSERT_EQ(in.close(), 1);
  collector.clear();
  ASSERT_EQ(in.open(&collect, -1, MidiInPort::kModeFunction, 50), 1);
  ASSERT_EQ(in.start(), 1);
  source->inject({0x90, 1, 2});  // the test backend delivers on the injecting thread
  ASSERT_TRUE(collector.waitFor(1));
  {
    std::lock_guard lock(collector.mutex);
    EXPECT_EQ(collector.threads.front(), std::this_thread::get_id());
  }
  EXPECT_EQ(in.close(), 1);
}

TEST_F(TonelinkPorts, AFailedInputOpenKeepsTheCodeAndLeavesThePortClosed) {
  backend_->failOpenInput(0, mm::MMSYSERR_ALLOCATED);
  MidiInPort& in = library().inPort();
  EXPECT_EQ(in.open(&collect, -1, 1, 50), 0);
  EXPECT_EQ(in.getLastResult(), mm::MMSYSERR_ALLOCATED);
  EXPECT_FALSE(in.isOpen());
  EXPECT_EQ(in.start(), 1);  // starting a closed port does nothing
}

INSTANTIATE_TEST_SUITE_P(BothModes, TonelinkInput, ::testing::Values(0, 1),
                         [](const auto& param) { return param.param == 0 ? "FunctionMode" : "ThreadMode"; });

}  // namespace
}  // namespace tonelink
