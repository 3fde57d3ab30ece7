// Tonelink's output port: short messages go straight out, everything else as a long
// message through a pool of 16 send slots. Asynchronous mode returns once the
// message is queued; synchronous mode waits until the system reports it sent.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "portlib/MidiPort.h"

namespace tonelink {

class MidiOutPort final : public MidiPort {
 public:
  static constexpr std::size_t kSlotCount = 16;

  MidiOutPort() : MidiPort(kOutput) {}
  ~MidiOutPort() override;

  // id -1 keeps the current device id. An open port is not opened again, but its
  // mode changes.
  int open(int id, bool synchronous);
  int close();
  // Any message: up to 3 bytes with a channel status go out as a short message.
  int write(const std::uint8_t* bytes, int length);
  // The bytes as one long message, whatever they are.
  int dump(const std::uint8_t* bytes, int length);

  bool isOpen() const { return handle_.load() != nullptr; }
  bool synchronous() const { return synchronous_.load(); }

 protected:
  unsigned deviceCount() const override;
  std::optional<std::string> productName(unsigned id) const override;
  MMRESULT errorText(MMRESULT code, char* text, unsigned size) const override;

 private:
  // A send slot: the system's long-message header, which owns its data buffer. The
  // header's user word is the busy mark, set while the system has the message and
  // cleared by the completion callback on the system's thread.
  struct SendSlot {
    mm::MIDIHDR header{};
    std::unique_ptr<char[]> buffer;
  };

  static void completion(mm::HMIDIOUT handle, mm::UINT message, mm::DWORD_PTR instance, mm::DWORD_PTR param1,
                         mm::DWORD_PTR param2);
  static std::atomic_ref<mm::DWORD_PTR> busyMark(mm::MIDIHDR& header) { return std::atomic_ref(header.dwUser); }

  int openDevice();
  int sendLong(const std::uint8_t* bytes, int length);
  void releaseSlot(SendSlot& slot);

  std::array<SendSlot, kSlotCount> slots_;
  std::atomic<bool> synchronous_{false};
  std::atomic<mm::HMIDIOUT> handle_{nullptr};
};

}  // namespace tonelink
