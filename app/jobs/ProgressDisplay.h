// The progress display a transfer job keeps up to date while its worker runs: the
// GUI's progress window and the command line's progress bar implement it.
//
// Created by the job on the user-interface thread when the transfer starts and
// destroyed (closed) when it ends; every call comes from that thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace quaverly {

// What is moving; decides the display's picture.
enum class TransferKind : int { Receive = 1, Transmit = 2 };

class ProgressDisplay {
 public:
  virtual ~ProgressDisplay() = default;

  virtual void setRange(int low, int high) = 0;
  // Moves the bar; `position` lies within the range.
  virtual void setPos(int position) = 0;
  // True once for each press of Cancel since the last call.
  virtual bool pollCancel() = 0;
  // The file being moved and the bytes of the whole batch done so far. Displays
  // that show only the bar ignore it.
  virtual void showBytes(std::string_view /*fileName*/, std::uint64_t /*done*/, std::uint64_t /*total*/) {}
};

// Creates the display for one transfer.
using ProgressDisplayFactory = std::function<std::unique_ptr<ProgressDisplay>(TransferKind kind)>;

}  // namespace quaverly
