// Open MIDI devices. The behaviour every device shares lives here: output long
// messages are queued and completed on a sender thread of the device, which posts
// MOM_DONE; input fills the queued long-message headers in order and returns each
// filled or finished one, short messages are reported one by one. A backend adds
// only the transport: how bytes go out, and when bytes come in.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "portlib/system/MmSystem.h"

namespace tonelink::mm {

class ThreadMessageQueue;

// The length of a message other than System Exclusive with this status byte, the
// status included.
std::size_t shortMessageLength(std::uint8_t status);

// Where an open device sends its notifications.
struct Notifier {
  DWORD flags = CALLBACK_NULL;  // CALLBACK_FUNCTION, CALLBACK_THREAD or CALLBACK_NULL
  DWORD_PTR callback = 0;       // the function, or the ThreadMessageQueue*
  DWORD_PTR instance = 0;
};

class MidiOutDevice {
 public:
  virtual ~MidiOutDevice();
  MidiOutDevice(const MidiOutDevice&) = delete;
  MidiOutDevice& operator=(const MidiOutDevice&) = delete;

  // Called once by the system layer right after the backend made the device.
  void attach(const Notifier& notifier);

  MMRESULT prepare(MIDIHDR* header);
  MMRESULT unprepare(MIDIHDR* header);
  // A message whose first byte is a data byte continues the running status.
  MMRESULT shortMessage(DWORD packed);
  MMRESULT longMessage(MIDIHDR* header);
  // Sends what is still queued, then stops the sender thread.
  MMRESULT close();

 protected:
  MidiOutDevice() = default;
  // The transport: sends one message. The long form runs on the device's sender
  // thread and may block until the bytes are taken.
  virtual MMRESULT sendShort(std::span<const std::uint8_t> bytes) = 0;
  virtual MMRESULT sendLong(std::span<const std::uint8_t> bytes) = 0;
  // Called by close() after the sender thread has ended.
  virtual void closeTransport() {}

 private:
  void senderLoop();
  void notifyDone(MIDIHDR* header);

  Notifier notifier_;
  // The channel status the last short message left running (0: none). Written and
  // read by the one thread that sends.
  std::atomic<std::uint8_t> runningStatus_{0};
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<MIDIHDR*> queue_;
  bool closing_ = false;
  std::thread sender_;
};

class MidiInDevice {
 public:
  virtual ~MidiInDevice();
  MidiInDevice(const MidiInDevice&) = delete;
  MidiInDevice& operator=(const MidiInDevice&) = delete;

  void attach(const Notifier& notifier);

  MMRESULT prepare(MIDIHDR* header);
  MMRESULT unprepare(MIDIHDR* header);
  MMRESULT addBuffer(MIDIHDR* header);
  MMRESULT start();
  // Stops input; a partly filled header is returned.
  MMRESULT stop();
  // Stops input and returns every queued header, marked done.
  MMRESULT reset();
  // Fails with MIDIERR_STILLPLAYING while headers are queued.
  MMRESULT close();

 protected:
  MidiInDevice() = default;
  // For the backend, from any thread: bytes received from the wire. A System
  // Exclusive message may come whole or in pieces; other messages come whole.
  void deliver(std::span<const std::uint8_t> bytes);
  virtual void closeTransport() {}

 private:
  void notify(UINT message, DWORD_PTR param);
  // Marks the first queued header done and takes it out of the queue (mutex held).
  MIDIHDR* finishFront();
  void storeSysexByte(std::uint8_t byte, std::vector<std::pair<UINT, DWORD_PTR>>& notes);

  Notifier notifier_;
  std::mutex mutex_;
  std::deque<MIDIHDR*> queue_;
  bool started_ = false;
  bool inSysex_ = false;  // the bytes delivered last left a System Exclusive message open
};

}  // namespace tonelink::mm
