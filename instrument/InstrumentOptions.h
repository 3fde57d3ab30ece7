// Everything that shapes how the virtual instrument behaves: identity, memory size,
// pacing, flow control, the optional model of the MIDI wire, and injected faults.
#pragma once

#include <chrono>
#include <cstdint>

namespace quaverly::instrument {

using Milliseconds = std::chrono::milliseconds;

// Faults to test the PC's side against. Block numbers count from 1 within one
// transfer; 0 switches a fault off.
struct Faults {
  bool silent = false;           // answers nothing at all
  Milliseconds answerDelay{0};   // every message it sends goes out this much later
  std::uint32_t dropAnswer = 0;  // the Nth message it would send is never sent
  std::int32_t sizeError = 0;    // added to the size it announces for a requested file
  std::uint32_t corruptChecksumBlock = 0;
  std::uint32_t repeatCounterBlock = 0;  // block N carries the counter of block N-1
  std::uint32_t strayIdentifyAfterBlock = 0;
  std::uint32_t waitWithoutReadyAtBlock = 0;  // receiving: Wait after block N, never Ready
  Milliseconds deleteDelay{0};                // a delete is answered this much later
  std::uint32_t errorAtBlock = 0;             // receiving: Error instead of accepting block N
  std::uint32_t corruptStoredByte = 0;        // receiving: byte N of each file is stored inverted
  bool memoryFull = false;                    // no room for anything
};

// The MIDI wire at 31250 baud: each direction carries 3125 bytes per second, and the
// instrument's input buffer holds a few hundred bytes. Bytes that arrive while the
// buffer is full are lost.
struct WireModel {
  bool enabled = false;
  std::uint32_t bytesPerSecond = 3125;
  // Room for a full bulk block and the end-of-data that follows it without a pause,
  // but not for two blocks sent back to back.
  std::uint32_t inputBufferBytes = 384;
};

struct InstrumentOptions {
  std::uint8_t deviceNumber = 0;  // 0..15
  std::uint8_t identifyA = 0x00;  // the two data bytes of its identify reply
  std::uint8_t identifyB = 0x00;
  bool panelAllowsTransfer = true;  // false: its panel is in a mode that refuses transfer
  std::uint32_t capacityBytes = 2 * 1024 * 1024;

  // Multiplies every delay of the instrument's own (pacing, flow control, time-outs,
  // injected delays, wire rate), so that tests can run its timed behaviour quickly.
  double timeScale = 1.0;

  Milliseconds blockInterval{5};      // between the blocks it streams to the PC
  Milliseconds sessionTimeout{5000};  // silence that ends a transfer

  // Flow control while it receives a file: Wait after every N blocks, Ready after D.
  std::uint32_t waitEveryBlocks = 0;
  Milliseconds waitDuration{200};
  // After EndOfData: Ready at once, Finished this much later (0: Finished at once).
  Milliseconds busyAfterEndOfData{0};

  WireModel wire;
  Faults faults;
};

}  // namespace quaverly::instrument
