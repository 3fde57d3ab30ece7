// A MIDI backend for the library's own tests, installed with
// tonelink::mm::installMidiBackends. Its device lists, failing capability queries and
// failing opens are set by the test; every device position has an endpoint object
// that the test keeps and that outlives the devices opened on it:
//
//   auto backend = std::make_unique<TestBackend>(std::vector<std::string>{"In A"},
//                                                std::vector<std::string>{"Out A"});
//   auto out = backend->output(0);   // std::shared_ptr<TestOutput>
//   auto in = backend->input(0);     // std::shared_ptr<TestInput>
//   installMidiBackends(...);        // move the backend in
//   ... midiOutLongMsg(...);
//   out->waitForHeld(1, limit);      // the long message is in the transport
//   out->releaseOne();               // now it completes: MOM_DONE follows
//   in->inject(bytes);               // as if the bytes came from the wire
//
// Long messages: the transport holds each one until the test releases it, so the
// test decides when MOM_DONE arrives; setAutoRelease(true) lets them through at once.
// A held message is let go by a watchdog after a long time (watchdogFired() then
// says so), so that a test that forgot to release fails instead of hanging.
//
// One device at a time may be open on a position: a second open gets
// MMSYSERR_ALLOCATED. Everything here may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "portlib/system/MidiSystem.h"

namespace tonelink::test {

using Bytes = std::vector<std::uint8_t>;

class TestOutDevice;
class TestInDevice;

// One output position, across every device opened on it.
class TestOutput {
 public:
  struct Message {
    bool isLong;
    Bytes bytes;
    bool operator==(const Message&) const = default;
  };

  // Lets one long message complete: the one held now, or else the next to arrive.
  void releaseOne();
  // Lets every long message held now complete.
  void releaseAll();
  // True: long messages complete as soon as they arrive, held ones too.
  void setAutoRelease(bool on);
  // How long a held message waits for a release before the watchdog lets it go.
  void setWatchdog(std::chrono::milliseconds limit);

  // Waits until `count` long messages are held at once; false after `limit`.
  bool waitForHeld(std::size_t count, std::chrono::milliseconds limit);
  // Waits until `count` long messages have completed in all; false after `limit`.
  bool waitForCompleted(std::size_t count, std::chrono::milliseconds limit);
  std::size_t heldCount() const;
  std::size_t completedCount() const;

  // Every message the transport was given, short and long, in order. A long message
  // is recorded when it arrives, before it is released.
  std::vector<Message> messages() const;
  std::vector<Bytes> longMessages() const;
  std::vector<Bytes> shortMessages() const;

  // What the transport answers: sendShort, and sendLong once released.
  void setShortResult(mm::MMRESULT code);
  void setLongResult(mm::MMRESULT code);

  bool isOpen() const;
  unsigned openCount() const;   // devices opened on this position so far
  unsigned closeCount() const;  // of those, closed
  bool watchdogFired() const;

 private:
  friend class TestBackend;
  friend class TestOutDevice;
  mm::MMRESULT sendShort(std::span<const std::uint8_t> bytes);
  mm::MMRESULT sendLong(std::span<const std::uint8_t> bytes);
  bool tryOpen();
  void closed();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Message> messages_;
  std::size_t held_ = 0;
  std::size_t credits_ = 0;
  std::size_t completed_ = 0;
  bool autoRelease_ = false;
  std::chrono::milliseconds watchdog_{60000};
  bool watchdogFired_ = false;
  mm::MMRESULT shortResult_ = mm::MMSYSERR_NOERROR;
  mm::MMRESULT longResult_ = mm::MMSYSERR_NOERROR;
  bool open_ = false;
  unsigned opens_ = 0;
  unsigned closes_ = 0;
};

// One input position, across every device opened on it.
class TestInput {
 public:
  // Hands bytes to the open device as if they came from the wire, on this thread:
  // the device's notifications for them have been sent when this returns. False
  // when no device is open on the position (the bytes go nowhere).
  bool inject(std::span<const std::uint8_t> bytes);
  bool inject(std::initializer_list<std::uint8_t> bytes) { return inject(Bytes(bytes)); }

  // Runs on the thread that closes a device of this position, inside the close and
  // before the device stops taking input: the device may still be started and given
  // buffers, so that a test can deliver exactly while a close runs.
  void setBeforeDetach(std::function<void(mm::MidiInDevice&)> hook);
  // Runs on the injecting thread once it holds the delivery lock, before the device
  // sees the bytes.
  void setOnDeliver(std::function<void()> hook);

  // Waits until a device is open on the position; false after `limit`.
  bool waitUntilOpen(std::chrono::milliseconds limit);
  bool isOpen() const;
  unsigned openCount() const;
  unsigned closeCount() const;

 private:
  friend class TestBackend;
  friend class TestInDevice;
  bool attach(TestInDevice* device);
  void detach(TestInDevice* device);
  void closing(TestInDevice& device);

  std::recursive_mutex deliverMutex_;  // held while a device delivers and while one detaches
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  TestInDevice* device_ = nullptr;                       // the open device; changed with both mutexes held
  std::function<void(mm::MidiInDevice&)> beforeDetach_;  // guarded by mutex_
  std::function<void()> onDeliver_;                      // guarded by mutex_
  unsigned opens_ = 0;
  unsigned closes_ = 0;
};

class TestBackend final : public mm::MidiBackend {
 public:
  TestBackend(std::vector<std::string> inputNames, std::vector<std::string> outputNames);
  ~TestBackend() override;

  // New device lists; like real devices, they are seen from the next refresh on.
  void setInputNames(std::vector<std::string> names);
  void setOutputNames(std::vector<std::string> names);
  // The capability query of a position fails (MMSYSERR_NODRIVER through midi*GetDevCaps).
  void failInputCaps(unsigned index, bool fail = true);
  void failOutputCaps(unsigned index, bool fail = true);
  // Opening a position fails with `code`; MMSYSERR_NOERROR lets it open again.
  void failOpenInput(unsigned index, mm::MMRESULT code);
  void failOpenOutput(unsigned index, mm::MMRESULT code);

  // The endpoint of a position, made on first use; it lives as long as anyone holds it.
  std::shared_ptr<TestInput> input(unsigned index);
  std::shared_ptr<TestOutput> output(unsigned index);
  unsigned refreshCount() const;

  void refresh() override;
  unsigned inputCount() override;
  unsigned outputCount() override;
  std::optional<std::string> inputName(unsigned index) override;
  std::optional<std::string> outputName(unsigned index) override;
  mm::MMRESULT openInput(unsigned index, std::unique_ptr<mm::MidiInDevice>& device) override;
  mm::MMRESULT openOutput(unsigned index, std::unique_ptr<mm::MidiOutDevice>& device) override;

 private:
  struct Direction {
    std::vector<std::string> listed;   // what inputCount/inputName see
    std::vector<std::string> pending;  // what the next refresh lists
    std::map<unsigned, bool> failCaps;
    std::map<unsigned, mm::MMRESULT> failOpen;
  };

  mutable std::mutex mutex_;
  Direction in_;
  Direction out_;
  std::map<unsigned, std::shared_ptr<TestInput>> inputs_;
  std::map<unsigned, std::shared_ptr<TestOutput>> outputs_;
  unsigned refreshes_ = 0;
};

}  // namespace tonelink::test
