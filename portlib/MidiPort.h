// The common part of Tonelink's two ports: the kind, the device id and the result
// code of the port's last operation.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "portlib/system/MmSystem.h"

namespace tonelink {

using mm::MMRESULT;

class MidiPort {
 public:
  static constexpr int kInput = 1;
  static constexpr int kOutput = 0;

  virtual ~MidiPort();
  MidiPort(const MidiPort&) = delete;
  MidiPort& operator=(const MidiPort&) = delete;

  // Takes `id` only when it names an existing device; returns the id held before.
  virtual unsigned setDeviceId(unsigned id);
  virtual unsigned getDeviceId() const;
  // The system's text for the last result; returns the look-up's own result.
  virtual MMRESULT getErrorText(std::string& text) const;
  virtual MMRESULT getLastResult() const;

  int kind() const { return kind_; }

  // At load: the first device whose product name equals the system's current
  // instrument exactly; device 0 when there is none.
  void chooseInitialDevice(const std::optional<std::string>& instrumentName);

 protected:
  explicit MidiPort(int kind) : kind_(kind) {}

  virtual unsigned deviceCount() const = 0;
  virtual std::optional<std::string> productName(unsigned id) const = 0;
  virtual MMRESULT errorText(MMRESULT code, char* text, unsigned size) const = 0;

  // Every port operation clears the result, records each system call's result in
  // order, and succeeds when the last one recorded is 0.
  void clearResult() { lastResult_.store(mm::MMSYSERR_NOERROR); }
  MMRESULT record(MMRESULT result) {
    lastResult_.store(result);
    return result;
  }
  int outcome() const { return lastResult_.load() == mm::MMSYSERR_NOERROR ? 1 : 0; }

  const int kind_;
  std::atomic<unsigned> deviceId_{0};

 private:
  std::atomic<MMRESULT> lastResult_{mm::MMSYSERR_NOERROR};
};

}  // namespace tonelink
