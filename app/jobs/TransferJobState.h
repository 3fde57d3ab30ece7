// The state a transfer job shares between the user-interface thread, which checks,
// polls and reports, and the worker thread, which moves the files. One job runs at a
// time; each shared word has one writer at a time.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/protocol/BulkTransfer.h"
#include "app/protocol/Link.h"

namespace quaverly {

// How a worker ended (TransferJobState::result).
enum class WorkerResult : std::int32_t {
  AllDone = 0,
  NoRoom = 1,
  TransferFailed = 2,
  CancelledBetweenFiles = 3,
  FileNotCreated = 4,  // receive only; already reported
  NotStarted = -1,
};

// What to do with one batch entry (marks).
enum class EntryMark : std::uint8_t {
  Skip = 0,
  Transfer = 1,
  Replace = 2,
};

// Whether a PC file is converted to format 0 before it is sent (convertMarks).
enum class ConvertMark : std::uint8_t {
  Convert = 1,
  Unchanged = 2,
};

struct TransferJobState {
  // The polling loop runs while this is 1; the worker clears it as its last action.
  std::atomic<std::int32_t> running{0};
  // continueFlag (cleared by Cancel) and progressBytes (bytes of the current file
  // moved so far), shared with the bulk transfer engine.
  protocol::TransferProgress transfer;
  // While 1 the progress bar is not moved.
  std::atomic<std::int32_t> progressPaused{1};
  std::atomic<WorkerResult> result{WorkerResult::AllDone};
  std::atomic<std::int32_t> currentIndex{0};
  std::atomic<std::uint64_t> bytesDone{0};
  std::atomic<std::uint64_t> bytesTotal{0};
  // 1 while the worker reads the file just sent back to compare it.
  std::atomic<std::int32_t> readingBack{0};

  // Written by the checks before the worker starts, read by the worker.
  std::vector<EntryMark> marks;
  std::vector<ConvertMark> convertMarks;
  std::vector<std::uint8_t> buffer;
  bool bufferAllocated = false;
  std::string destinationFolder;

  // Written by the worker only, read after it has been joined.
  bool partialFilePending = false;
  std::string partialFilePath;                            // code page 932
  protocol::LinkResult failure = protocol::kLinkSuccess;  // why the transfer failed
  int filesSkipped = 0;                                   // files that could not be converted

  // The worker's last action: running = 0, and the polling loop is woken at once.
  void finishWorker();
  // Blocks the polling loop until the worker finishes or `limit` has passed.
  void waitForWorker(std::chrono::milliseconds limit);

  // The bar's position: (bytesDone + progressBytes) x 100 / bytesTotal, 100 when
  // there is nothing to move, never above 100.
  int percent() const;

 private:
  std::mutex endMutex_;
  std::condition_variable ended_;
};

}  // namespace quaverly
