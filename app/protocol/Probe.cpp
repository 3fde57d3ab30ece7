#include "app/protocol/Probe.h"

#include "app/protocol/Connection.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::protocol {

std::optional<std::vector<IdentifyAnswer>> probeDeviceNumbers(Link& link, const ProbeTimings& timings) {
  LinkState& s = link.state();
  s.pendingKind = PendingKind::None;
  link.resetQueue();
  if (!openLinkPorts(link)) return std::nullopt;
  link.sleepFor(timings.settle);
  link.input()->start();
  link.sleepFor(timings.settle);

  std::vector<IdentifyAnswer> answers;
  for (std::uint8_t d = 0; d < kDeviceNumbers; ++d) {
    link.beginRequest(PendingKind::Identify);
    if (link.send(buildMessage(SysexId::IdentifyRequest, d)) != kLinkSuccess) continue;
    link.awaitReply(timings.answerLimit);
    if (!s.replyArrived) continue;
    const IdentifyAnswer answer{static_cast<std::uint8_t>(s.replyValue >> 16 & 0x0F),
                                static_cast<std::uint8_t>(s.replyValue >> 8 & 0x7F),
                                static_cast<std::uint8_t>(s.replyValue & 0x7F)};
    if (answer.deviceNumber == d) answers.push_back(answer);
  }
  s.pendingKind = PendingKind::None;
  link.input()->stop();
  closeLinkPorts(link);
  return answers;
}

}  // namespace quaverly::protocol
