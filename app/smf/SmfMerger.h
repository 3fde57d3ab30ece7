// Conversion of a Standard MIDI File of format 1 (one chunk per track) into format 0
// (every event of every track in one chunk, in time order).
//
// The engine works on a complete copy of the file in memory and reports through a
// numeric status. It usually runs on a worker thread of its own: start() launches the
// worker, the caller watches running() (or blocks in waitFor()), and reads status()
// and the output once running() is false.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <thread>

#include "app/smf/ByteBuffer.h"

namespace quaverly::smf {

// The converted file, owned by whoever took it over from the engine. The buffer may be
// larger than the file.
struct MergedFile {
  ByteBuffer buffer;
  std::uint32_t size = 0;

  std::span<const std::uint8_t> bytes() const { return {buffer.data(), size}; }
};

class CSmfMerger {
 public:
  // Values of status().
  enum Status : std::int32_t {
    kRunning = -1,    // not finished (or never started)
    kSuccess = 0,     // the output holds the format 0 file
    kNoMemory = 1,    // the output buffer (or the worker) could not be had
    kMalformed = 5,   // not a well-formed Standard MIDI File
    kNotFormat1 = 6,  // a well-formed header whose format is not 1
    kCancelled = 7,   // cancel() stopped the merge
  };

  // The largest number of tracks a file may declare.
  static constexpr int kMaxTracks = 64;

  CSmfMerger() = default;
  // Cancels and waits for a running worker before the buffers go.
  ~CSmfMerger();

  CSmfMerger(const CSmfMerger&) = delete;
  CSmfMerger& operator=(const CSmfMerger&) = delete;

  // Starts a worker thread that merges `length` bytes at `data` when `mode` is 1 (any
  // other mode does no work) and then clears running(). The bytes must stay alive and
  // unchanged until running() is false. A worker of an earlier start() is waited for
  // first. If no thread can be created, status() becomes kNoMemory at once.
  void start(int mode, const std::uint8_t* data, std::uint32_t length);

  // Merges on the calling thread. True with status kSuccess and the output in place;
  // false with kNoMemory, kMalformed, kNotFormat1 or kCancelled and no output.
  bool merge(const std::uint8_t* data, std::uint32_t length);

  // Asks a running merge to stop before its next event and waits until the worker
  // has ended. The request stays: a later merge of this object ends as cancelled.
  void cancel();

  // Blocks until no worker is running or `timeout` has passed; true when none runs.
  bool waitFor(std::chrono::milliseconds timeout);

  std::int32_t status() const { return status_.load(std::memory_order_acquire); }
  bool running() const { return running_.load(std::memory_order_acquire); }

  // Length of the converted file, or 0 when there is no output. Like output() and
  // takeOutput(), meant for after running() went false; while a merge runs they
  // wait for it.
  std::uint32_t outputSize() const;
  // The converted file; empty when there is none. Valid until takeOutput(), the next
  // merge or destruction.
  std::span<const std::uint8_t> output() const;
  // Hands the converted file over to the caller; the engine keeps no output after.
  MergedFile takeOutput();

 private:
  // A track during the merge. Its next event is read ahead: time, status byte and
  // length are known before the track's turn comes.
  struct Track {
    std::uint32_t pos = 0;       // offset of the next event's data (after its status)
    std::uint32_t end = 0;       // offset just after the track's data
    std::uint32_t time = 0;      // absolute time of the next event; kTrackDone at the end
    std::uint32_t bytes = 0;     // length of the next event's data
    std::uint8_t status = 0xFF;  // status of the next event (running status included)
    bool atEnd = false;          // the next event is the end-of-track event FF 2F 00
  };

  bool mergeLocked(const std::uint8_t* data, std::uint32_t length);
  // Validates the header and every declared track and counts the events that rely on
  // running status. Returns the status that ends the merge, or kRunning to go on.
  std::int32_t preScan(std::uint64_t& runningStatusEvents);
  std::int32_t mergeEvents();

  // Reading context of the merge in progress.
  const std::uint8_t* in_ = nullptr;
  std::uint32_t inLength_ = 0;

  int trackCount_ = 0;
  Track tracks_[kMaxTracks];
  std::uint32_t tailStart_ = 0;

  ByteBuffer output_;
  std::uint32_t outputLength_ = 0;  // capacity while merging, file length once done
  std::uint32_t outPos_ = 0;

  std::atomic<std::int32_t> status_{kRunning};
  std::atomic<bool> running_{false};
  std::atomic<bool> keepGoing_{true};

  // Held for the whole of a merge and by the output accessors, so that the output is
  // never read while a worker writes it.
  mutable std::mutex workMutex_;

  // The worker and the way it announces its end.
  std::mutex threadMutex_;  // guards worker_ (start/cancel from any thread)
  std::thread worker_;
  std::mutex doneMutex_;
  std::condition_variable done_;
};

}  // namespace quaverly::smf
