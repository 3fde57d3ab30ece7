// The devices of the winmm backend: one device opened at the system each.
//
// Threads: winmm calls the event functions on a thread of its own (or, for some
// drivers, inside the call that caused the event). Those functions take only one
// mutex of the device (doneMutex_, eventMutex_), and no winmm call is made while
// that mutex is held, so a driver that calls back from inside midiInReset,
// midiOutLongMsg and the like cannot deadlock with us.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "portlib/system/MidiDevice.h"
#include "portlib/system/winmm/WinMmApi.h"

namespace tonelink::mm::winmm {

// Our code for a code winmm returned; one we do not know becomes MMSYSERR_ERROR.
MMRESULT fromWinMm(Result result);

class WinMmOutDevice final : public MidiOutDevice, private OutputEvents {
 public:
  // `sendGrace`: how long a long message may take beyond one millisecond a byte
  // before it is given up.
  WinMmOutDevice(const WinMmApi& api, std::chrono::milliseconds sendGrace);
  // The sender thread must end while this object is whole.
  ~WinMmOutDevice() override;

  // Opens output `id` of the system; called once, before the device is attached.
  MMRESULT open(unsigned id);

 protected:
  MMRESULT sendShort(std::span<const std::uint8_t> bytes) override;
  // Sends one long message and waits until the system is done with it. A message the
  // system holds past its time limit is taken back by a reset.
  MMRESULT sendLong(std::span<const std::uint8_t> bytes) override;
  void closeTransport() override;

 private:
  void longDone(LongBuffer& buffer) override;

  const WinMmApi& api_;
  const std::chrono::milliseconds sendGrace_;
  // Held for every call on the handle; the event function never takes it.
  std::mutex ioMutex_;
  std::atomic<OutHandle> handle_{nullptr};
  // The long message in flight; one at a time, from the sender thread.
  LongBuffer longBuffer_;
  std::mutex doneMutex_;
  std::condition_variable doneChanged_;
  bool longDone_ = false;  // guarded by doneMutex_
};

class WinMmInDevice final : public MidiInDevice, private InputEvents {
 public:
  explicit WinMmInDevice(const WinMmApi& api);
  ~WinMmInDevice() override;

  // Opens input `id` of the system, lends it the buffers and starts it; called once,
  // before the device is attached.
  MMRESULT open(unsigned id);

  static constexpr std::size_t kBufferCount = 4;
  static constexpr std::uint32_t kBufferBytes = 1024;
  // A System Exclusive message is put together from the buffers' pieces and passed on
  // whole, up to this size; beyond it the pieces go on as they come.
  static constexpr std::size_t kAssemblyLimit = 1 << 20;

 protected:
  void closeTransport() override;

 private:
  void shortData(std::uint32_t packed) override;
  void longData(LongBuffer& buffer, std::uint32_t recorded, bool broken) override;

  // Stops the system's input, waits until it has given back every buffer, then closes
  // the handle. Does nothing once the handle is closed.
  void shutDown();
  // With eventMutex_ held: a piece of a System Exclusive message, or the whole of one.
  void takeLong(std::span<const std::uint8_t> piece, bool broken);
  void passAssembled();

  struct Buffer {
    std::array<std::uint8_t, kBufferBytes> bytes{};
    LongBuffer system;
    bool prepared = false;  // only the thread that opens or closes the device uses it
  };

  const WinMmApi& api_;
  std::atomic<InHandle> handle_{nullptr};
  std::array<Buffer, kBufferCount> buffers_;

  std::mutex eventMutex_;
  std::condition_variable eventsChanged_;
  // Guarded by eventMutex_:
  bool closing_ = false;                // bytes are dropped and buffers kept once set
  unsigned lentBuffers_ = 0;            // buffers the system holds, or is being given
  unsigned buffersBeingAdded_ = 0;      // event functions inside midiInAddBuffer
  std::vector<std::uint8_t> assembly_;  // the pieces of an unfinished System Exclusive message
};

}  // namespace tonelink::mm::winmm
