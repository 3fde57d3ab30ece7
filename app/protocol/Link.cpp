#include "app/protocol/Link.h"

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

namespace {

// How long a send keeps trying while every send slot of the library is busy.
constexpr std::chrono::seconds kSendRetryLimit{5};

}  // namespace

Link& Link::instance() {
  static Link link;
  return link;
}

extern "C" void linkReceive(const unsigned char* bytes, int length) {
  if (!bytes || length <= 0) return;
  Link& link = Link::instance();
  const std::span<const std::uint8_t> received(bytes, static_cast<std::size_t>(length));
  link.queue().receive(received);
}

void Link::bind(const InputFunctionTable* input, const OutputFunctionTable* output) {
  input_ = input;
  output_ = output;
}

void Link::setObserver(Observer observer, void* context) {
  observerContext_.store(context);
  observer_.store(observer);
}

void Link::beginRequest(PendingKind kind) {
  state_.pendingKind = kind;
  state_.timedOut = false;
  state_.replyArrived = false;
  state_.positive = false;
  state_.errorReply = false;
  state_.waitRequested = false;
  state_.readyReceived = false;
  state_.expectedCounter = 0;
  state_.receiveBuffer = {};
  state_.receivedBytes = 0;
}

LinkResult Link::send(std::span<const std::uint8_t> message) {
  if (!output_ || !output_->dump || message.empty()) return kLinkNotSent;
  if (const Observer observer = observer_.load()) observer(true, message, observerContext_.load());
  const auto giveUp = now() + kSendRetryLimit;
  for (;;) {
    if (output_->dump(message.data(), static_cast<int>(message.size())) == 1) return kLinkSuccess;
    // 0 with a result code is a failure of the system; 0 without one means that every
    // send slot is still busy, which passes as the library sends.
    const unsigned code = output_->getLastResult ? output_->getLastResult(output_->direction) : 0;
    if (code != 0 || now() >= giveUp) return kLinkNotSent;
    sleepFor(std::chrono::milliseconds(1));
  }
}

bool Link::processOne() {
  ReceivedMessage message;
  if (!queue_.take(message)) return false;
  if (const Observer observer = observer_.load()) observer(false, message.view(), observerContext_.load());
  handle(message);
  return true;
}

void Link::resetQueue() { queue_.reset(); }

LinkResult Link::awaitReply(std::chrono::milliseconds limit) {
  const auto start = now();
  const auto deadline = start + limit;
  for (;;) {
    const bool handled = processOne();
    if (state_.replyArrived) return state_.positive ? kLinkSuccess : kLinkRefused;
    if (now() - start > limit) {
      state_.timedOut = true;
      return kLinkTimedOut;
    }
    // Nothing was there: sleep until a message comes or the limit has passed, not
    // beyond it, so that a reply arriving after the limit is left to the next request.
    if (!handled) waitForMessage(deadline);
  }
}

void Link::handle(const ReceivedMessage& received) {
  LinkState& s = state_;
  // An overlong message was cut: no handler recognises it.
  const std::span<const std::uint8_t> m = received.overlong ? std::span<const std::uint8_t>{} : received.view();
  const auto is = [&](SysexId id) { return matches(id, m); };
  const auto end = [&](bool positive) {
    s.replyArrived = true;
    if (positive) {
      s.positive = true;
    } else {
      s.errorReply = true;
    }
  };

  switch (s.pendingKind) {
    case PendingKind::None:
      return;
    case PendingKind::Identify:
      if (const std::optional<IdentifyReplyFields> reply = is(SysexId::IdentifyReply) ? parseIdentifyReply(m)
                                                                                       : std::nullopt) {
        // Who answered, and with what: the device number and the two data bytes.
        s.replyValue = std::uint32_t{reply->deviceNumber} << 16 | std::uint32_t{reply->a} << 8 | reply->b;
        s.replyArrived = true;
      }
      return;
    case PendingKind::RemoteCheck:
      if (is(SysexId::RemoteReady)) s.replyArrived = true;
      return;
    case PendingKind::MakeFolder:
    case PendingKind::DeleteFile:
    case PendingKind::Rename:
    case PendingKind::DeleteFolder:
    case PendingKind::FindFirst:
    case PendingKind::FindNext:
    case PendingKind::FreeSpace:
      if (is(SysexId::CommandAccepted)) return end(true);
      if (is(SysexId::CommandRefused)) return end(false);
      if ((s.pendingKind == PendingKind::FindFirst && is(SysexId::FindFirstReply)) ||
          (s.pendingKind == PendingKind::FindNext && is(SysexId::FindNextReply))) {
        std::optional<FindReplyFields> entry = parseFindReply(m);
        if (!entry) return;
        s.replyAttributes = entry->attributes;
        s.replyValue = entry->size;
        s.replyName = std::move(entry->path);
        return end(true);
      }
      if (s.pendingKind == PendingKind::FreeSpace && is(SysexId::FreeSpaceReply)) {
        if (const std::optional<std::uint32_t> freeBytes = parseFreeSpaceReply(m)) {
          s.replyValue = *freeBytes;
          return end(true);
        }
      }
      return;
    case PendingKind::FileRequest:
      if (const std::optional<std::uint32_t> size = is(SysexId::FileHeader) ? parseFileHeaderReply(m) : std::nullopt) {
        s.replyValue = *size;
        return end(true);
      }
      return end(false);
    case PendingKind::FileHeaderSent:
      if (is(SysexId::Wait)) {
        s.waitRequested = true;
      } else if (is(SysexId::Error) || is(SysexId::Cancel)) {
        end(false);
      } else if (is(SysexId::Ready)) {
        end(true);
      }
      return;
    case PendingKind::SendingBlocks:
      if (is(SysexId::Wait)) {
        s.waitRequested = true;
      } else if (is(SysexId::Error) || is(SysexId::Cancel)) {
        end(false);
      } else if (is(SysexId::Ready)) {
        s.readyReceived = true;
      }
      return;
    case PendingKind::ReceivingBlocks:
      if (is(SysexId::BulkBlock)) return handleBlock(m);
      if (is(SysexId::EndOfData)) return end(true);
      return end(false);
    case PendingKind::EndOfDataSent:
      if (is(SysexId::Wait)) {
        s.waitRequested = true;
      } else if (is(SysexId::Error) || is(SysexId::Cancel)) {
        end(false);
      } else if (is(SysexId::Finished)) {
        end(true);
      } else if (is(SysexId::Ready)) {
        s.readyReceived = true;
        s.replyArrived = true;
      }
      return;
  }
}

void Link::handleBlock(std::span<const std::uint8_t> m) {
  LinkState& s = state_;
  // The data goes into what is left of the buffer; more than fits fails the block.
  const std::size_t offset = std::min<std::size_t>(s.receivedBytes, s.receiveBuffer.size());
  const BlockRead block = readBlock(m, s.expectedCounter, s.receiveBuffer.subspan(offset));
  if (block.fault != BlockFault::None) {
    s.replyArrived = true;
    s.errorReply = true;
    return;
  }
  s.receivedBytes += static_cast<std::uint32_t>(block.bytes);
  s.lastBlockBytes = static_cast<std::uint8_t>(block.bytes);
  s.expectedCounter = nextBlockCounter(s.expectedCounter);
}

}  // namespace quaverly::protocol
