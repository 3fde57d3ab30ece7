// Tonelink's input port: keeps 16 long-message buffers of 1024 bytes queued with the
// system and hands every received message to the caller's ReceiveCallback, either
// directly from the system's callback (mode 0) or from the library's input thread
// (mode 1).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "portlib/MidiPort.h"
#include "portlib/Tonelink.h"

namespace tonelink {

namespace mm {
class ThreadMessageQueue;
}

class MidiInPort final : public MidiPort {
 public:
  static constexpr std::size_t kBufferCount = 16;
  static constexpr std::size_t kBufferBytes = 1024;
  static constexpr int kModeFunction = 0;
  static constexpr int kModeThread = 1;

  // `threadQueue` is the input thread's queue, the target of mode-1 notifications.
  explicit MidiInPort(mm::ThreadMessageQueue& threadQueue) : MidiPort(kInput), threadQueue_(threadQueue) {}
  ~MidiInPort() override;

  // An open port is not opened again and keeps its callback, mode and idle time.
  int open(ReceiveCallback callback, int id, int mode, int idleMs);
  int close();
  int start();
  int stop();

  // The receive handler: one notification of the system, on whichever thread
  // delivers it.
  void handle(mm::UINT message, mm::DWORD_PTR param);

  bool isOpen() const { return handle_.load() != nullptr; }
  int receiveMode() const { return receiveMode_.load(); }
  // How long the input thread may sleep when it has nothing to do.
  int idleSleep() const { return idleSleep_.load(); }

 protected:
  unsigned deviceCount() const override;
  std::optional<std::string> productName(unsigned id) const override;
  MMRESULT errorText(MMRESULT code, char* text, unsigned size) const override;

 private:
  static void systemCallback(mm::HMIDIIN handle, mm::UINT message, mm::DWORD_PTR instance, mm::DWORD_PTR param1,
                             mm::DWORD_PTR param2);
  bool setUpBuffers();
  void releaseBuffers();
  void deliverLong(mm::MIDIHDR& header);

  mm::ThreadMessageQueue& threadQueue_;
  std::atomic<ReceiveCallback> callback_{nullptr};
  std::atomic<mm::HMIDIIN> handle_{nullptr};
  std::atomic<bool> closing_{false};
  std::atomic<int> receiveMode_{kModeFunction};
  std::atomic<int> idleSleep_{50};

  // The buffers are touched by the handler on the system's or the input thread and
  // by open and close on the caller's: the mutex keeps a close from freeing a buffer
  // the handler is reading or queueing again. It is never held while the device
  // closes, which waits for the thread that may be waiting for this mutex.
  std::mutex buffersMutex_;
  std::array<mm::MIDIHDR, kBufferCount> headers_{};
  std::array<std::unique_ptr<char[]>, kBufferCount> heapBlocks_;
};

}  // namespace tonelink
