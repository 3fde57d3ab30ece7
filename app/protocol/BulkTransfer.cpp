#include "app/protocol/BulkTransfer.h"

#include <algorithm>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

namespace {

using Clock = Link::Clock;
using std::chrono::milliseconds;

constexpr milliseconds kHeaderLimit{2000};
constexpr milliseconds kWaitExtension{10000};
constexpr milliseconds kPauseLimit{10000};
constexpr milliseconds kEndOfDataLimit{60000};
constexpr milliseconds kFileRequestLimit{2000};
constexpr milliseconds kBlockIdleLimit{2000};
// Bytes a block costs on the wire beyond its payload: 11 of the message and three
// of the driver's own framing.
constexpr std::size_t kBlockOverhead = 14;
// How often the sender looks at the queue while it has nothing to send.
constexpr milliseconds kIdlePoll{2};

}  // namespace

LinkResult BulkTransfer::sendHandshake(SysexId id) {
  link_.state().pendingKind = PendingKind::None;
  return link_.send(buildMessage(id, link_.state().deviceNumber));
}

LinkResult BulkTransfer::sendFinished() { return sendHandshake(SysexId::Finished); }
LinkResult BulkTransfer::sendCancel() { return sendHandshake(SysexId::Cancel); }
LinkResult BulkTransfer::sendError() { return sendHandshake(SysexId::Error); }

LinkResult BulkTransfer::sendHeader(std::uint32_t size, std::string_view path) {
  link_.beginRequest(PendingKind::FileHeaderSent);
  if (link_.send(buildFileHeader(link_.state().deviceNumber, size, path)) != kLinkSuccess) return kLinkNotSent;
  LinkState& s = link_.state();
  const auto start = link_.now();
  milliseconds limit = kHeaderLimit;
  for (;;) {
    const bool handled = link_.processOne();
    if (s.waitRequested) {
      s.waitRequested = false;
      limit += kWaitExtension;
    } else if (s.replyArrived) {
      return s.positive ? kLinkSuccess : kLinkRefused;
    }
    if (link_.now() - start > limit) {
      s.timedOut = true;
      return kLinkTimedOut;
    }
    if (!handled) link_.waitForMessage(start + limit);
  }
}

LinkResult BulkTransfer::sendBlocks(std::span<const std::uint8_t> data) {
  const std::size_t blocks = (data.size() + kMaxChunkBytes - 1) / kMaxChunkBytes;
  link_.beginRequest(PendingKind::SendingBlocks);
  LinkState& s = link_.state();
  std::size_t offset = 0;
  std::size_t sent = 0;
  std::uint8_t counter = 0;
  bool paused = false;
  Clock::time_point pauseStart;
  bool prepared = false;
  std::size_t paceCount = 0;
  std::size_t chunk = 0;
  std::vector<std::uint8_t> block;
  std::uint8_t payload[kMaxPayloadBytes];

  for (;;) {
    while (link_.processOne()) {
    }
    if (progress_.continueFlag.load() == 0) return kLinkRefused;
    if (s.readyReceived) {
      s.readyReceived = false;
      s.waitRequested = false;
      paused = false;
    } else if (s.waitRequested) {
      s.waitRequested = false;
      paused = true;
      pauseStart = link_.now();
      continue;
    } else if (paused) {
      if (link_.now() - pauseStart > kPauseLimit) {
        s.timedOut = true;
        return kLinkTimedOut;
      }
      // Paused: sleep until the instrument says something (or Cancel is looked at
      // again a moment later).
      link_.waitForMessage(std::min(pauseStart + kPauseLimit, link_.now() + kIdlePoll * 25));
      continue;
    }
    if (s.replyArrived) return kLinkRefused;  // the instrument sent Error or Cancel
    if (sent == blocks) return kLinkSuccess;

    if (prepared) {
      if (link_.send(block) != kLinkSuccess) return kLinkNotSent;
      offset += chunk;
      progress_.progressBytes.fetch_add(static_cast<std::uint32_t>(chunk));
      counter = nextBlockCounter(counter);
      ++sent;
      prepared = false;
    } else {
      chunk = std::min(data.size() - offset, kMaxChunkBytes);
      const std::size_t p = packChunk(data.subspan(offset, chunk), payload);
      block = buildBlock(s.deviceNumber, std::span(payload, p), counter, blockChecksum(std::span(payload, p), counter));
      const std::size_t cost = p + kBlockOverhead;
      const auto burst = static_cast<std::size_t>(std::max(pacing_.intervalByteCount, 0));
      if (paceCount != 0 && paceCount + cost > burst) {
        link_.sleepFor(milliseconds(std::max(pacing_.intervalTimeMs, 0)));
        paceCount = cost;
      } else {
        paceCount += cost;
      }
      prepared = true;
    }
  }
}

LinkResult BulkTransfer::sendEndOfData() {
  link_.beginRequest(PendingKind::EndOfDataSent);
  if (link_.send(buildMessage(SysexId::EndOfData, link_.state().deviceNumber)) != kLinkSuccess) return kLinkNotSent;
  LinkState& s = link_.state();
  auto start = link_.now();
  milliseconds limit = kEndOfDataLimit;
  for (;;) {
    const bool handled = link_.processOne();
    if (s.waitRequested) {
      s.waitRequested = false;
      limit += kWaitExtension;
    } else if (s.replyArrived) {
      if (!s.readyReceived) return s.positive ? kLinkSuccess : kLinkRefused;
      // Ready: the instrument is still busy storing the file; the time starts again.
      s.readyReceived = false;
      s.replyArrived = false;
      start = link_.now();
    }
    if (link_.now() - start > limit) {
      s.timedOut = true;
      return kLinkTimedOut;
    }
    if (!handled) link_.waitForMessage(start + limit);
  }
}

LinkResult BulkTransfer::requestFile(std::string_view path, std::uint32_t& size) {
  link_.beginRequest(PendingKind::FileRequest);
  if (link_.send(buildPathCommand(SysexId::FileRequest, link_.state().deviceNumber, path)) != kLinkSuccess) {
    return kLinkNotSent;
  }
  const LinkResult result = link_.awaitReply(kFileRequestLimit);
  if (result == kLinkSuccess) size = link_.state().replyValue;
  return result;
}

LinkResult BulkTransfer::receiveBlocks(std::span<std::uint8_t> buffer) {
  LinkState& s = link_.state();
  link_.beginRequest(PendingKind::ReceivingBlocks);
  s.receiveBuffer = buffer;
  LinkResult result = kLinkRefused;
  if (link_.send(buildMessage(SysexId::Ready, s.deviceNumber)) != kLinkSuccess) {
    result = kLinkNotSent;
  } else {
    auto noted = link_.now();
    std::uint8_t seen = 0;
    for (;;) {
      const bool handled = link_.processOne();
      if (progress_.continueFlag.load() == 0) {
        result = kLinkRefused;
        break;
      }
      if (s.replyArrived) {
        if (s.positive) return kLinkSuccess;
        result = kLinkRefused;
        break;
      }
      if (s.expectedCounter != seen) {
        progress_.progressBytes.fetch_add(s.lastBlockBytes);
        noted = link_.now();
        seen = s.expectedCounter;
      }
      if (link_.now() - noted > kBlockIdleLimit) {
        s.timedOut = true;
        result = kLinkTimedOut;
        break;
      }
      // Wake for the next block, or soon enough to see Cancel.
      if (!handled) link_.waitForMessage(std::min(noted + kBlockIdleLimit, link_.now() + milliseconds(50)));
    }
  }
  sendError();
  while (link_.processOne()) {
  }
  return result;
}

}  // namespace quaverly::protocol
