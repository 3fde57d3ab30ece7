// Moving one file's contents between the PC and the instrument: sending announces
// it with a file header, streams it as paced bulk blocks that the instrument may
// pause, and ends with end-of-data; receiving asks for it, starts the instrument's
// block stream and checks every block.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>

#include "app/protocol/Link.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

// Shared with the job that runs a transfer and with its progress display.
struct TransferProgress {
  std::atomic<std::uint32_t> continueFlag{1};   // cleared by Cancel
  std::atomic<std::uint32_t> progressBytes{0};  // file bytes of the current file moved so far
};

// Pacing of the block stream: after a burst of `intervalByteCount` bytes the sender
// pauses `intervalTimeMs`.
struct PacingSettings {
  int intervalByteCount = 256;
  int intervalTimeMs = 100;
};

class BulkTransfer {
 public:
  BulkTransfer(Link& link, TransferProgress& progress, PacingSettings pacing)
      : link_(link), progress_(progress), pacing_(pacing) {}

  // Sending, in this order for one file.
  LinkResult sendHeader(std::uint32_t size, std::string_view path);
  LinkResult sendBlocks(std::span<const std::uint8_t> data);
  LinkResult sendEndOfData();

  // Receiving: the announced size comes back in `size`.
  LinkResult requestFile(std::string_view path, std::uint32_t& size);
  LinkResult receiveBlocks(std::span<std::uint8_t> buffer);

  // Handshakes that wait for nothing.
  LinkResult sendFinished();
  LinkResult sendCancel();
  LinkResult sendError();

 private:
  LinkResult sendHandshake(SysexId id);

  Link& link_;
  TransferProgress& progress_;
  PacingSettings pacing_;
};

}  // namespace quaverly::protocol
