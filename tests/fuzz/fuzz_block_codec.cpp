// The block codec and the link's check of received blocks. Packing and unpacking run
// on arbitrary bytes into outputs of any size, too small ones included; blocks built
// from the fuzzer's bytes, correct or with one known fault (count, length, counter,
// checksum, a payload byte), go through a reception, which must take exactly the
// correct ones that fit its buffer and refuse the rest; raw messages test the check
// on anything at all.
//
// Input: a script of commands, each led by one byte c (op = c & 3):
//   0  unpack ((c >> 2 & 1) << 8 | next) payload bytes into an output of
//      ((c >> 3 & 1) << 8 | next) bytes
//   1  pack the same way
//   2  a block of (next % 216) file bytes, fault (next % 8), sent to the reception
//   3  a raw message of (next) bytes sent to the reception
// A reception starts with a buffer of kBufferSizes[c >> 5] bytes whenever the last one
// ended.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/protocol/Link.h"
#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

using namespace quaverly::protocol;
using quaverly::fuzz::FuzzInput;

constexpr std::array<std::size_t, 8> kBufferSizes = {0, 1, 6, 7, 210, 211, 420, 4096};

// 7-bit payload bytes as packing would write them: the header bits of missing file
// bytes are clear, and a trailing lone header byte is gone.
std::vector<std::uint8_t> canonical(std::span<const std::uint8_t> payload) {
  std::vector<std::uint8_t> out;
  for (std::size_t start = 0; start < payload.size(); start += 8) {
    const std::size_t group = std::min<std::size_t>(8, payload.size() - start);
    if (group == 1) break;
    const auto used = static_cast<std::uint8_t>((0x7F << (8 - group)) & 0x7F);
    out.push_back(payload[start] & used);
    out.insert(out.end(), payload.begin() + static_cast<std::ptrdiff_t>(start + 1),
               payload.begin() + static_cast<std::ptrdiff_t>(start + group));
  }
  return out;
}

void unpackCase(std::span<const std::uint8_t> source, std::size_t capacity) {
  // Both buffers exactly as large as they claim, so that any access past them shows.
  const std::vector<std::uint8_t> payload(source.begin(), source.end());
  std::vector<std::uint8_t> chunk(capacity, 0xAA);
  const std::optional<std::size_t> n = unpackPayload(payload, chunk);
  const std::size_t needed = unpackedSize(payload.size());
  FUZZ_CHECK(n.has_value() == (capacity >= needed));
  if (!n) {
    FUZZ_CHECK(std::all_of(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b == 0xAA; }));
    return;
  }
  FUZZ_CHECK(*n == needed);
  FUZZ_CHECK(std::all_of(chunk.begin() + static_cast<std::ptrdiff_t>(*n), chunk.end(),
                         [](std::uint8_t b) { return b == 0xAA; }));
  // Packing the file bytes again gives a 7-bit payload back, up to the bits packing
  // never sets. (A byte with bit 7 set cannot travel inside a message.)
  if (std::any_of(payload.begin(), payload.end(), [](std::uint8_t b) { return b >= 0x80; })) return;
  std::vector<std::uint8_t> again(packedSize(*n));
  FUZZ_CHECK(packChunk(std::span(chunk).first(*n), again) == again.size());
  FUZZ_CHECK(again == canonical(payload));
}

void packCase(std::span<const std::uint8_t> source, std::size_t capacity) {
  const std::vector<std::uint8_t> chunk(source.begin(), source.end());
  std::vector<std::uint8_t> payload(capacity, 0xAA);
  const std::size_t p = packChunk(chunk, payload);
  const std::size_t needed = packedSize(chunk.size());
  if (capacity < needed) {
    FUZZ_CHECK(p == 0);
    FUZZ_CHECK(std::all_of(payload.begin(), payload.end(), [](std::uint8_t b) { return b == 0xAA; }));
    return;
  }
  FUZZ_CHECK(p == needed);
  FUZZ_CHECK(std::all_of(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(p),
                         [](std::uint8_t b) { return b < 0x80; }));
  std::vector<std::uint8_t> back(chunk.size());
  const auto n = unpackPayload(std::span(payload).first(p), back);
  FUZZ_CHECK(n && *n == chunk.size() && back == chunk);
  // The checksum completes the seven low bits of the checked range to zero.
  for (const std::uint8_t counter : {std::uint8_t{0}, std::uint8_t{0x7F}}) {
    const std::uint8_t checksum = blockChecksum(std::span(payload).first(p), counter);
    std::vector<std::uint8_t> checked = {0x02, 0x02, counter};
    checked.insert(checked.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(p));
    FUZZ_CHECK(checksum < 0x80 && expectedChecksum(checked) == checksum);
    unsigned sum = checksum;
    for (const std::uint8_t b : checked) sum += b;
    FUZZ_CHECK((sum & 0x7F) == 0);
  }
}

// A reception in progress and what it must have taken so far.
struct Reception {
  Link link;
  std::vector<std::uint8_t> buffer;
  std::vector<std::uint8_t> expected;  // the file bytes of every block taken
  std::uint8_t counter = 0;            // the counter of the next correct block
  bool started = false;

  bool ended() { return !started || link.state().replyArrived; }

  void start(std::size_t bufferSize) {
    started = true;
    link.beginRequest(PendingKind::ReceivingBlocks);
    buffer.assign(bufferSize, 0);
    link.state().receiveBuffer = buffer;
    expected.clear();
    counter = 0;
  }

  void deliver(std::span<const std::uint8_t> source) {
    const std::vector<std::uint8_t> message(source.begin(), source.end());
    link.queue().receive(message);
    while (link.processOne()) {
    }
    const LinkState& s = link.state();
    FUZZ_CHECK(s.receivedBytes <= buffer.size());
    FUZZ_CHECK(s.expectedCounter < 0x80);
  }

  // After a raw message, which may have been a correct block, the reception's own
  // figures are what the next blocks build on.
  void resynchronise() {
    const LinkState& s = link.state();
    counter = s.expectedCounter;
    expected.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(s.receivedBytes));
  }
};

enum Fault : std::uint8_t { kNone, kCounter, kChecksum, kCount, kPayloadByte, kShorter, kLonger, kNoFault };

void blockCase(Reception& r, FuzzInput& in) {
  const auto chunk = in.take(in.byte() % 216);
  const auto fault = static_cast<Fault>(in.byte() % 8);
  const std::uint8_t where = in.byte();
  const std::uint8_t delta = static_cast<std::uint8_t>(in.byte() % 0x7F + 1);  // 1..127

  // Packed without the codec's size limit: a block may carry more than 210 file bytes.
  std::vector<std::uint8_t> payload(packedSize(chunk.size()));
  packChunk(chunk, payload);
  std::uint8_t counter = r.counter;
  std::uint8_t checksum = blockChecksum(payload, counter);
  if (fault == kCounter) counter = static_cast<std::uint8_t>((counter + delta) & 0x7F);
  if (fault == kChecksum) checksum = static_cast<std::uint8_t>((checksum + delta) & 0x7F);
  if (fault == kPayloadByte && !payload.empty()) {
    std::uint8_t& b = payload[where % payload.size()];
    b = static_cast<std::uint8_t>((b + delta) & 0x7F);
  }
  std::vector<std::uint8_t> block = buildBlock(0, payload, counter, checksum);
  if (fault == kCount) {
    const std::size_t count = (std::size_t{block[4]} << 7 | block[5]) + (delta & 1 ? delta : 0x80u - delta);
    block[4] = static_cast<std::uint8_t>((count >> 7) & 0x7F);
    block[5] = static_cast<std::uint8_t>(count & 0x7F);
  }
  const bool faulty = fault != kNone && fault != kNoFault && !(fault == kPayloadByte && payload.empty());
  if (fault == kShorter) block.erase(block.begin() + 9 + where % (block.size() - 10));
  if (fault == kLonger) block.insert(block.begin() + 9 + where % (block.size() - 10), delta);

  const LinkState& s = r.link.state();
  const std::uint32_t before = s.receivedBytes;
  const bool fits = before + chunk.size() <= r.buffer.size();
  const bool takes = !faulty && chunk.size() <= kMaxChunkBytes && fits;
  r.deliver(block);
  FUZZ_CHECK(s.replyArrived == !takes);
  FUZZ_CHECK(!s.positive);
  if (takes) {
    FUZZ_CHECK(s.receivedBytes == before + chunk.size());
    FUZZ_CHECK(s.lastBlockBytes == chunk.size());
    r.expected.insert(r.expected.end(), chunk.begin(), chunk.end());
    r.counter = nextBlockCounter(r.counter);
    FUZZ_CHECK(s.expectedCounter == r.counter);
  } else {
    FUZZ_CHECK(s.errorReply);
    FUZZ_CHECK(s.receivedBytes == before);
  }
  FUZZ_CHECK(std::equal(r.expected.begin(), r.expected.end(), r.buffer.begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  auto reception = std::make_unique<Reception>();
  while (!in.empty()) {
    const std::uint8_t c = in.byte();
    const std::size_t high = std::size_t{c} >> 2 & 1;
    switch (c & 3) {
      case 0: {
        const auto payload = in.take(high << 8 | in.byte());
        unpackCase(payload, (std::size_t{c} >> 3 & 1) << 8 | in.byte());
        break;
      }
      case 1: {
        const auto chunk = in.take(high << 8 | in.byte());
        packCase(chunk, (std::size_t{c} >> 3 & 1) << 8 | in.byte());
        break;
      }
      case 2:
        if (reception->ended()) reception->start(kBufferSizes[c >> 5]);
        blockCase(*reception, in);
        break;
      default:
        if (reception->ended()) reception->start(kBufferSizes[c >> 5]);
        reception->deliver(in.take(in.byte()));
        reception->resynchronise();
        break;
    }
  }
  return 0;
}
