// Runs the link's reply handlers on what an instrument might send: arbitrary messages
// while any kind of request waits, and well-formed replies built from the fuzzer's
// bytes whose fields must come out as they went in. The messages go through the
// receive queue as the port library's callback would deliver them; the matcher and
// the 28-bit decoder see every message directly as well.
//
// Input: a script of commands, each led by one byte c:
//   0xxxxxxx  a raw piece of ((c & 1) << 8 | next byte) bytes, then every message handled
//   10xxxxxx  a new request of kind (c & 0x0F) % 15; for a reception the buffer holds
//             kBufferSizes[(c >> 4) & 3] bytes
//   11xxxxxx  a reply built from the following bytes (type c & 7), then handled, and its
//             fields compared when the pending request takes that reply
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/protocol/Link.h"
#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

using namespace quaverly::protocol;
using quaverly::fuzz::FuzzInput;

constexpr std::array<std::size_t, 4> kBufferSizes = {0, 7, 210, 1000};
constexpr std::size_t kPendingKinds = 15;
constexpr std::uint32_t k28Bits = 0x10000000;

struct Session {
  Link link;
  // The buffer of a reception, exactly as large as announced so that a write past it
  // shows.
  std::vector<std::uint8_t> buffer;
};

// What must hold after any message, whatever the request.
void checkState(Session& session) {
  const LinkState& s = session.link.state();
  FUZZ_CHECK(s.receivedBytes <= s.receiveBuffer.size());
  FUZZ_CHECK(s.replyValue < k28Bits);
  FUZZ_CHECK(s.replyName.find('\0') == std::string::npos);
  FUZZ_CHECK(s.replyName.size() <= ReceiveQueue::kSlotBytes);
  FUZZ_CHECK(s.expectedCounter < 0x80);
  FUZZ_CHECK(s.lastBlockBytes <= kMaxChunkBytes);
  FUZZ_CHECK(!(s.positive || s.errorReply) || s.replyArrived);
}

// The matcher and the decoder on a message as it was received.
void checkMatcher(std::span<const std::uint8_t> m) {
  for (std::size_t i = 0; i < kSysexIdCount; ++i) {
    const auto id = static_cast<SysexId>(i);
    const bool hit = matches(id, m);
    FUZZ_CHECK(!hit || m.size() >= sysexTemplate(id).length);
    // A reply from any device number matches.
    if (m.size() > 2) {
      std::vector<std::uint8_t> other(m.begin(), m.end());
      other[2] = static_cast<std::uint8_t>((other[2] & 0xF0) | ((other[2] + 5) & 0x0F));
      FUZZ_CHECK(matches(id, other) == hit);
    }
  }
  if (m.size() >= 4) {
    const std::uint32_t value = decode28(std::span<const std::uint8_t, 4>(m.first(4)));
    FUZZ_CHECK(value < k28Bits);
    const auto again = encode28(value);
    FUZZ_CHECK(decode28(again) == value);
  }
}

// Hands `piece` to the queue as one delivery and handles whatever became a message.
void deliverAndHandle(Session& session, std::span<const std::uint8_t> source) {
  const std::vector<std::uint8_t> piece(source.begin(), source.end());
  session.link.queue().receive(piece);
  checkMatcher(piece);
  while (session.link.processOne()) checkState(session);
}

void beginRequest(Session& session, std::uint8_t c) {
  const auto kind = static_cast<PendingKind>((c & 0x0F) % kPendingKinds);
  session.link.beginRequest(kind);
  session.buffer.assign(kBufferSizes[(c >> 4) & 3], 0);
  if (kind == PendingKind::ReceivingBlocks) session.link.state().receiveBuffer = session.buffer;
}

// A name of `length` bytes that can travel in a reply: 7-bit, no NUL.
std::string nameFrom(FuzzInput& in, std::size_t length) {
  std::string name;
  for (const std::uint8_t b : in.take(length)) name += static_cast<char>((b & 0x7F) == 0 ? 'A' : (b & 0x7F));
  return name;
}

void builtReply(Session& session, std::uint8_t c, FuzzInput& in) {
  LinkState& s = session.link.state();
  const PendingKind kind = s.pendingKind;
  const bool waiting = !s.replyArrived;
  const std::uint8_t device = in.byte() & 0x0F;
  switch (c & 7) {
    case 0:
    case 1: {
      const SysexId id = (c & 7) == 0 ? SysexId::FindFirstReply : SysexId::FindNextReply;
      const std::uint8_t attributes = in.byte();
      const std::uint32_t size =
          static_cast<std::uint32_t>(in.byte()) << 21 | static_cast<std::uint32_t>(in.byte()) << 7 | in.byte();
      const std::string name = nameFrom(in, in.byte());
      const Bytes reply = buildFindReply(id, device, attributes, size, name);
      deliverAndHandle(session, reply);
      const bool takes = (kind == PendingKind::FindFirst && id == SysexId::FindFirstReply) ||
                         (kind == PendingKind::FindNext && id == SysexId::FindNextReply);
      if (waiting && takes) {
        // A reply longer than a slot is cut and taken for no reply at all.
        const bool fits = reply.size() <= ReceiveQueue::kSlotBytes;
        FUZZ_CHECK(s.replyArrived == fits);
        if (fits) {
          FUZZ_CHECK(s.positive);
          FUZZ_CHECK(s.replyAttributes == (attributes & 0x7F));
          FUZZ_CHECK(s.replyValue == (size & (k28Bits - 1)));
          FUZZ_CHECK(s.replyName == name);
        }
      }
      break;
    }
    case 2: {
      const std::uint32_t freeBytes =
          static_cast<std::uint32_t>(in.byte()) << 24 | static_cast<std::uint32_t>(in.byte()) << 14 | in.byte();
      deliverAndHandle(session, buildFreeSpaceReply(device, freeBytes));
      if (waiting && kind == PendingKind::FreeSpace) {
        FUZZ_CHECK(s.replyArrived && s.positive);
        FUZZ_CHECK(s.replyValue == (freeBytes & (k28Bits - 1)));
      }
      break;
    }
    case 3: {
      // The instrument's answer to a file request: the size, then the path.
      const std::uint32_t size = static_cast<std::uint32_t>(in.byte()) << 16 | in.byte();
      const std::string path = nameFrom(in, in.byte());
      const Bytes header = buildFileHeader(device, size, path);
      deliverAndHandle(session, header);
      if (waiting && kind == PendingKind::FileRequest) {
        FUZZ_CHECK(s.replyArrived);
        FUZZ_CHECK(s.positive == (header.size() <= ReceiveQueue::kSlotBytes));
        if (s.positive) FUZZ_CHECK(s.replyValue == size);
      }
      break;
    }
    case 4: {
      deliverAndHandle(session, buildIdentifyReply(device, in.byte(), in.byte()));
      if (waiting && kind == PendingKind::Identify) FUZZ_CHECK(s.replyArrived);
      break;
    }
    case 5: {
      // A correct block with the counter the link expects.
      const auto chunk = in.take(in.byte() % (kMaxChunkBytes + 1));
      std::uint8_t payload[kMaxPayloadBytes];
      const std::size_t p = packChunk(chunk, payload);
      const std::span<const std::uint8_t> packed(payload, p);
      const std::uint8_t counter = s.expectedCounter;
      const std::uint32_t before = s.receivedBytes;
      deliverAndHandle(session, buildBlock(device, packed, counter, blockChecksum(packed, counter)));
      if (waiting && kind == PendingKind::ReceivingBlocks) {
        const bool fits = before + chunk.size() <= session.buffer.size();
        FUZZ_CHECK(s.replyArrived == !fits);
        if (fits) {
          FUZZ_CHECK(s.receivedBytes == before + chunk.size());
          FUZZ_CHECK(s.expectedCounter == nextBlockCounter(counter));
          FUZZ_CHECK(std::equal(chunk.begin(), chunk.end(), session.buffer.begin() + before));
        }
      }
      break;
    }
    default: {
      // A handshake: Ready, Wait, EndOfData, Finished, Cancel or Error.
      static constexpr std::array<SysexId, 6> kHandshakes = {SysexId::Ready,    SysexId::Wait,   SysexId::EndOfData,
                                                             SysexId::Finished, SysexId::Cancel, SysexId::Error};
      deliverAndHandle(session, buildMessage(kHandshakes[in.byte() % kHandshakes.size()], device));
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  auto session = std::make_unique<Session>();
  while (!in.empty()) {
    const std::uint8_t c = in.byte();
    if (c < 0x80) {
      const std::size_t length = (std::size_t{c} & 1) << 8 | in.byte();
      deliverAndHandle(*session, in.take(length));
    } else if (c < 0xC0) {
      beginRequest(*session, c);
    } else {
      builtReply(*session, c, in);
    }
    checkState(*session);
  }
  return 0;
}
