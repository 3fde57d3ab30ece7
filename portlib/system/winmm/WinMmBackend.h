// The Windows MIDI system through winmm: its inputs and outputs, in the system's order
// and under the system's names (converted from UTF-16 to UTF-8). Long messages out are
// sent one at a time and complete when the system reports them done, or are taken
// back by a reset once they are far over time; input keeps a few buffers lent to the
// system and passes on what comes back in them, System Exclusive messages whole.
//
// Every winmm call goes through a WinMmApi table, the real one unless a test gives its
// own; the system's codes become ours, and one we do not know becomes MMSYSERR_ERROR.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "portlib/system/MidiSystem.h"
#include "portlib/system/winmm/WinMmApi.h"

namespace tonelink::mm {

class WinMmBackend final : public MidiBackend {
 public:
  // How long a long message may take beyond one millisecond a byte before it is given
  // up as stuck.
  static constexpr std::chrono::milliseconds kDefaultSendGrace{5000};

  explicit WinMmBackend(const winmm::WinMmApi& api = winmm::realWinMmApi(),
                        std::chrono::milliseconds sendGrace = kDefaultSendGrace);

  // Counts the system's devices; the counts hold until the next refresh.
  void refresh() override;
  unsigned inputCount() override;
  unsigned outputCount() override;
  std::optional<std::string> inputName(unsigned index) override;
  std::optional<std::string> outputName(unsigned index) override;
  MMRESULT openInput(unsigned index, std::unique_ptr<MidiInDevice>& device) override;
  MMRESULT openOutput(unsigned index, std::unique_ptr<MidiOutDevice>& device) override;

 private:
  const winmm::WinMmApi& api_;
  const std::chrono::milliseconds sendGrace_;
  std::atomic<unsigned> inputs_{0};
  std::atomic<unsigned> outputs_{0};
};

}  // namespace tonelink::mm
