#include "app/protocol/Connection.h"

#include <optional>

#include "app/messages/MessageCatalogue.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

namespace {

constexpr int kInputThreadMode = 1;
constexpr int kIdleSleepMs = 50;
// How often the wait window gets to process its events while a reply is awaited.
constexpr std::chrono::milliseconds kPumpInterval{10};

// Polls for the ending reply of the pending request, letting the wait window work.
bool pollReply(Link& link, ConnectionUi& ui, std::chrono::milliseconds limit) {
  const auto start = link.now();
  for (;;) {
    link.processOne();
    ui.pump();
    if (link.state().replyArrived) return true;
    if (link.now() - start > limit) {
      link.state().timedOut = true;
      return false;
    }
    link.waitForMessage(std::min(start + limit, link.now() + kPumpInterval));
  }
}

void sendRemoteMode(Link& link, std::uint8_t device, bool enter) { link.send(buildRemoteMode(device, enter)); }

}  // namespace

bool openLinkPorts(Link& link) {
  if (!link.input()->open(&linkReceive, -1, kInputThreadMode, kIdleSleepMs)) return false;
  if (!link.output()->open(-1)) {
    link.input()->close();
    return false;
  }
  return true;
}

void closeLinkPorts(Link& link) {
  link.input()->close();
  link.output()->close();
}

int linkConnect(Link& link, ConnectionUi& ui, const ConnectionTimings& timings) {
  LinkState& s = link.state();
  s.pendingKind = PendingKind::None;
  link.resetQueue();

  if (!openLinkPorts(link)) {
    showMessage(MessageId::PortBusy);
    return 0;
  }
  link.sleepFor(timings.settle);
  link.input()->start();
  link.sleepFor(timings.settle);

  ui.showWait(messageText(MessageId::Confirming));
  s.deviceNumber = 0;
  std::optional<MessageId> failure = MessageId::NoAnswer;
  for (std::uint8_t d = 0; d < kDeviceNumbers; ++d) {
    link.beginRequest(PendingKind::Identify);
    link.send(buildMessage(SysexId::IdentifyRequest, d));
    if (!pollReply(link, ui, timings.identifyLimit)) continue;

    s.deviceNumber = d;
    link.beginRequest(PendingKind::RemoteCheck);
    sendRemoteMode(link, d, true);
    link.sleepFor(timings.remoteModeDelay);
    link.send(buildMessage(SysexId::RemoteCheck, d));
    if (pollReply(link, ui, timings.remoteCheckLimit)) {
      failure.reset();
    } else {
      failure = MessageId::NoTransferMode;
    }
    break;
  }
  ui.closeWait();

  if (failure) {
    showMessage(*failure);
    link.input()->stop();
    sendRemoteMode(link, s.deviceNumber, false);
    closeLinkPorts(link);
    return 0;
  }
  return 1;
}

int linkDisconnect(Link& link) {
  link.input()->stop();
  sendRemoteMode(link, link.state().deviceNumber, false);
  closeLinkPorts(link);
  return 1;
}

}  // namespace quaverly::protocol
