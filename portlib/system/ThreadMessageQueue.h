// A thread's own message queue: another thread posts (message, wParam, lParam), the
// owner takes them without waiting, or waits for one no longer than it is told. A
// post wakes a waiting owner at once.
#pragma once

#include <chrono>
#include <deque>
#include <optional>

#include "portlib/system/MmSystem.h"
#include "portlib/system/SystemCondition.h"

namespace tonelink::mm {

struct ThreadMessage {
  UINT message;
  DWORD_PTR wParam;
  DWORD_PTR lParam;
};

class ThreadMessageQueue {
 public:
  void post(UINT message, DWORD_PTR wParam, DWORD_PTR lParam);
  // The next message, removed from the queue; nothing when the queue is empty.
  std::optional<ThreadMessage> peek();
  // Waits until a message is there or `limit` has passed.
  void waitForMessage(std::chrono::milliseconds limit);

 private:
  SystemCondition posted_;  // its lock guards `messages_`
  std::deque<ThreadMessage> messages_;
};

}  // namespace tonelink::mm
