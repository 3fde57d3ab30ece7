// Hands the virtual instrument's request handling arbitrary messages in any order,
// over a small in-memory file memory with a few folders and files. Besides the
// sanitizers' checks, after every message: whatever it sent is a well-formed message
// (F0, 7-bit data bytes, F7), every name in the memory follows the 8.3 rule with no
// two in a folder differing only in case, and the files fit into its capacity.
//
// Input: one byte of options (see optionsFrom), then a script of commands, each led
// by one byte c:
//   00xxxxxd  a raw message of (next) bytes, damaged on the wire when d is set
//   01xxxxxx  F0 43 5n, (next) bytes of body, F7, for this instrument's device n
//   10xxxxxx  the catalogue's message (c & 0x1F) % 27 with (next) bytes of fields
//   11111111  the session time-out passes
//   11xxxxxx  a correct block with counter (next & 0x7F) and (next % 211) file bytes
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/FileNameRule.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/InstrumentProtocol.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

using namespace quaverly::instrument;
using quaverly::fuzz::FuzzInput;
namespace protocol = quaverly::protocol;

constexpr std::uint32_t kCapacity = 16 * 1024;

// Takes what the instrument sends and checks its form; delays and withdrawals play no
// part here.
class CheckingHost final : public InstrumentHost {
 public:
  void send(Bytes message, Milliseconds, std::uint64_t) override {
    FUZZ_CHECK(message.size() >= 2);
    FUZZ_CHECK(message.front() == protocol::kSysexStart && message.back() == protocol::kSysexEnd);
    FUZZ_CHECK(std::all_of(message.begin() + 1, message.end() - 1, [](std::uint8_t b) { return b < 0x80; }));
  }
  void withdraw(std::uint64_t) override {}
  void armSilenceTimer(bool) override {}
};

InstrumentOptions optionsFrom(std::uint8_t o) {
  InstrumentOptions options;
  options.capacityBytes = kCapacity;
  options.deviceNumber = (o & 0x01) ? 3 : 0;
  options.panelAllowsTransfer = (o & 0x02) == 0;
  options.faults.memoryFull = (o & 0x04) != 0;
  options.waitEveryBlocks = (o & 0x08) ? 2 : 0;
  options.faults.errorAtBlock = (o & 0x10) ? 3 : 0;
  options.faults.sizeError = (o & 0x20) ? -5 : 0;
  options.faults.waitWithoutReadyAtBlock = (o & 0x40) ? 2 : 0;
  options.busyAfterEndOfData = Milliseconds{(o & 0x80) ? 100 : 0};
  return options;
}

void addFile(FileMemory& memory, const MemoryPath& path, std::size_t size, bool readOnly = false) {
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 37 + path.size());
  FUZZ_CHECK(memory.create(path) && memory.append(path, data));
  if (readOnly) FUZZ_CHECK(memory.setReadOnly(path, true));
}

// 0:\SONG1.MID, 0:\BIG.MID (several blocks), 0:\README.TXT (read-only), 0:\POPS\A.MID,
// the empty 0:\POPS\EMPTY and 0:\JAZZ.
void fill(FileMemory& memory) {
  addFile(memory, {"SONG1.MID"}, 200);
  addFile(memory, {"BIG.MID"}, 1000);
  addFile(memory, {"README.TXT"}, 10, true);
  FUZZ_CHECK(memory.makeFolder({"POPS"}));
  addFile(memory, {"POPS", "A.MID"}, 500);
  FUZZ_CHECK(memory.makeFolder({"POPS", "EMPTY"}));
  FUZZ_CHECK(memory.makeFolder({"JAZZ"}));
}

void checkFolder(const FileMemory& memory, const MemoryPath& folder, int depth) {
  FUZZ_CHECK(depth < 64);
  const auto entries = memory.list(folder);
  FUZZ_CHECK(entries.has_value());
  for (std::size_t i = 0; i < entries->size(); ++i) {
    const MemoryEntry& e = (*entries)[i];
    FUZZ_CHECK(quaverly::isValidFileName(e.name));
    for (std::size_t j = i + 1; j < entries->size(); ++j) {
      FUZZ_CHECK(!protocol::equalsIgnoringAsciiCase(e.name, (*entries)[j].name));
    }
    if (e.folder) {
      MemoryPath child = folder;
      child.push_back(e.name);
      checkFolder(memory, child, depth + 1);
    }
  }
}

void checkMemory(const FileMemory& memory) {
  checkFolder(memory, {}, 0);
  FUZZ_CHECK(usedBytes(memory) <= kCapacity);
}

std::vector<std::uint8_t> framed(std::uint8_t device, std::span<const std::uint8_t> body) {
  std::vector<std::uint8_t> message = {protocol::kSysexStart, protocol::kManufacturerId,
                                       static_cast<std::uint8_t>(protocol::kDeviceBase + device)};
  message.insert(message.end(), body.begin(), body.end());
  message.push_back(protocol::kSysexEnd);
  return message;
}

std::vector<std::uint8_t> block(std::uint8_t device, std::uint8_t counter, std::span<const std::uint8_t> chunk) {
  std::uint8_t payload[protocol::kMaxPayloadBytes];
  const std::size_t p = protocol::packChunk(chunk, payload);
  const std::span<const std::uint8_t> packed(payload, p);
  return protocol::buildBlock(device, packed, counter, protocol::blockChecksum(packed, counter));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const InstrumentOptions options = optionsFrom(in.byte());
  const std::uint8_t device = options.deviceNumber;
  InMemoryFileMemory memory;
  fill(memory);
  CheckingHost host;
  InstrumentProtocol instrument(memory, options, host);

  while (!in.empty()) {
    const std::uint8_t c = in.byte();
    std::vector<std::uint8_t> message;
    bool damaged = false;
    switch (c >> 6) {
      case 0: {
        // Copied into a buffer of its own size, so that a read past the message shows.
        const auto raw = in.take(in.byte());
        message.assign(raw.begin(), raw.end());
        damaged = (c & 1) != 0;
        break;
      }
      case 1:
        message = framed(device, in.take(in.byte()));
        break;
      case 2: {
        const auto id = static_cast<protocol::SysexId>((c & 0x1F) % protocol::kSysexIdCount);
        message = protocol::buildMessage(id, device, in.take(in.byte()));
        break;
      }
      default:
        if (c == 0xFF) {
          instrument.onSilence();
          checkMemory(memory);
          continue;
        }
        message = block(device, in.byte() & 0x7F, in.take(in.byte() % (protocol::kMaxChunkBytes + 1)));
        break;
    }
    instrument.handle(message, damaged);
    checkMemory(memory);
  }
  return 0;
}
