#include "portlib/system/ThreadMessageQueue.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace tonelink::mm {

void ThreadMessageQueue::post(UINT message, DWORD_PTR wParam, DWORD_PTR lParam) {
  {
    std::lock_guard lock(posted_);
    messages_.push_back({message, wParam, lParam});
  }
  posted_.wakeOne();
}

std::optional<ThreadMessage> ThreadMessageQueue::peek() {
  std::lock_guard lock(posted_);
  if (messages_.empty()) return std::nullopt;
  ThreadMessage m = messages_.front();
  messages_.pop_front();
  return m;
}

void ThreadMessageQueue::waitForMessage(std::chrono::milliseconds limit) {
  const std::uint64_t deadline =
      SystemCondition::now() + static_cast<std::uint64_t>(std::max<std::int64_t>(limit.count(), 0));
  std::lock_guard lock(posted_);
  while (messages_.empty()) {
    const std::uint64_t now = SystemCondition::now();
    if (now >= deadline) return;
    // A wake-up without a message (spurious, or the message taken meanwhile) waits
    // again for what is left of the limit.
    posted_.wait(static_cast<std::uint32_t>(std::min<std::uint64_t>(deadline - now, 0xFFFFFFFEu)));
  }
}

}  // namespace tonelink::mm
