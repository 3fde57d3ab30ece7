#include "portlib/system/ThreadMessageQueue.h"

namespace tonelink::mm {

void ThreadMessageQueue::post(UINT message, DWORD_PTR wParam, DWORD_PTR lParam) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back({message, wParam, lParam});
  }
  posted_.notify_one();
}

std::optional<ThreadMessage> ThreadMessageQueue::peek() {
  std::lock_guard lock(mutex_);
  if (messages_.empty()) return std::nullopt;
  ThreadMessage m = messages_.front();
  messages_.pop_front();
  return m;
}

void ThreadMessageQueue::waitForMessage(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  posted_.wait_for(lock, limit, [this] { return !messages_.empty(); });
}

}  // namespace tonelink::mm
