// The progress display of get and put on standard error: the file's name, a bar,
// the percentage of the batch, bytes done of the total, the rate and the time left.
// Redrawn in place on a terminal (a few times a second at most); elsewhere written
// as plain lines when a file starts and at every quarter of the batch.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/jobs/ProgressDisplay.h"
#include "cli/TransferTerminal.h"

namespace quaverly::cli {

// "1.5 KiB", "230 B", "12.0 MiB".
std::string formatBytes(std::uint64_t bytes);

// One progress line. `elapsed` is the time since the transfer started; with no time
// or no bytes yet the rate and the time left are shown as "--". A bar of
// `barWidth` characters is drawn when it is not 0.
std::string formatProgressLine(std::string_view name, std::uint64_t done, std::uint64_t total,
                               std::chrono::milliseconds elapsed, int barWidth);

class ProgressBar final : public ProgressDisplay {
 public:
  // With `quiet` nothing is drawn; Ctrl-C still cancels.
  ProgressBar(TransferTerminal& terminal, bool quiet);
  ~ProgressBar() override;

  void setRange(int, int) override {}
  void setPos(int) override {}
  // True once after Ctrl-C.
  bool pollCancel() override;
  void showBytes(std::string_view fileName, std::uint64_t done, std::uint64_t total) override;

 private:
  using Clock = std::chrono::steady_clock;

  TransferTerminal& terminal_;
  const bool quiet_;
  const Clock::time_point started_ = Clock::now();
  Clock::time_point lastDrawn_{};
  std::string lastName_;
  int lastQuarter_ = -1;
  bool cancelReported_ = false;
};

}  // namespace quaverly::cli
