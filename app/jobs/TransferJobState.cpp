#include "app/jobs/TransferJobState.h"

#include <algorithm>

namespace quaverly {

void TransferJobState::finishWorker() {
  {
    // Changed under the mutex so that a waiter cannot miss the notification between
    // its check and its wait.
    const std::lock_guard lock(endMutex_);
    running.store(0);
  }
  ended_.notify_all();
}

void TransferJobState::waitForWorker(std::chrono::milliseconds limit) {
  std::unique_lock lock(endMutex_);
  ended_.wait_for(lock, limit, [this] { return running.load() == 0; });
}

int TransferJobState::percent() const {
  const std::uint64_t total = bytesTotal.load();
  if (total == 0) return 100;
  const std::uint64_t done = bytesDone.load() + transfer.progressBytes.load();
  return static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100));
}

}  // namespace quaverly
