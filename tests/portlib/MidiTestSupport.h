// Helpers for tests that drive the midi* functions: long-message headers with their
// buffers, a recorder of function-callback notifications, and a reader of a thread
// message queue. Every wait ends after kWatchdog, so a deadlock fails a test instead
// of hanging it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "portlib/system/MidiSystem.h"
#include "portlib/system/ThreadMessageQueue.h"

namespace tonelink::test {

using namespace tonelink::mm;
using Bytes = std::vector<std::uint8_t>;

// Far beyond what a loaded machine needs; it only ends a test that would hang.
inline constexpr std::chrono::milliseconds kWatchdog{20000};

// A MIDIHDR and the buffer it lends. Not movable: the system keeps its address.
struct Header {
  explicit Header(std::size_t size) : buffer(size, 0) {
    hdr.lpData = reinterpret_cast<char*>(buffer.data());
    hdr.dwBufferLength = static_cast<DWORD>(size);
  }
  // A header that carries `bytes` to an output device.
  explicit Header(const Bytes& bytes) : Header(bytes.size()) { std::copy(bytes.begin(), bytes.end(), buffer.begin()); }
  Header(const Header&) = delete;
  Header& operator=(const Header&) = delete;

  Bytes recorded() const { return Bytes(buffer.begin(), buffer.begin() + hdr.dwBytesRecorded); }

  std::vector<std::uint8_t> buffer;
  MIDIHDR hdr{};
};

// One notification, with what the header held when it came.
struct Note {
  UINT message;
  DWORD_PTR handle;
  DWORD_PTR instance;
  DWORD_PTR param1;
  DWORD_PTR param2;
  MIDIHDR* header = nullptr;  // for MOM_DONE, MM_MIM_LONGDATA and MM_MIM_LONGERROR
  Bytes bytes;                // the header's recorded bytes then
  DWORD flags = 0;            // the header's flags then
};

inline bool carriesHeader(UINT message) {
  return message == MM_MOM_DONE || message == MM_MIM_LONGDATA || message == MM_MIM_LONGERROR;
}

// Collects function-callback notifications; pass outProc/inProc as the callback
// and the recorder's address as the instance.
class Recorder {
 public:
  static void outProc(HMIDIOUT handle, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2) {
    reinterpret_cast<Recorder*>(instance)->add(reinterpret_cast<DWORD_PTR>(handle), message, instance, p1, p2);
  }
  static void inProc(HMIDIIN handle, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2) {
    reinterpret_cast<Recorder*>(instance)->add(reinterpret_cast<DWORD_PTR>(handle), message, instance, p1, p2);
  }
  DWORD_PTR outCallback() const { return reinterpret_cast<DWORD_PTR>(&Recorder::outProc); }
  DWORD_PTR inCallback() const { return reinterpret_cast<DWORD_PTR>(&Recorder::inProc); }
  DWORD_PTR instance() { return reinterpret_cast<DWORD_PTR>(this); }

  // Waits until `count` notifications have come in all.
  bool waitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, kWatchdog, [&] { return notes_.size() >= count; });
  }
  std::vector<Note> notes() const {
    std::lock_guard lock(mutex_);
    return notes_;
  }
  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return notes_.size();
  }
  // Waits until `done` holds for the notifications so far.
  bool waitUntil(const std::function<bool(const std::vector<Note>&)>& done) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, kWatchdog, [&] { return done(notes_); });
  }
  // Called with each note as it arrives, on the notifying thread. Once this returns,
  // the action it replaced is not running and will not run again.
  void onNote(std::function<void(const Note&)> action) {
    std::lock_guard lock(actionMutex_);
    action_ = std::move(action);
  }

 private:
  void add(DWORD_PTR handle, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2) {
    Note note{message, handle, instance, p1, p2, nullptr, {}, 0};
    if (carriesHeader(message) && p1) {
      note.header = reinterpret_cast<MIDIHDR*>(p1);
      note.bytes.assign(note.header->lpData, note.header->lpData + note.header->dwBytesRecorded);
      note.flags = note.header->dwFlags;
    }
    {
      std::lock_guard lock(mutex_);
      notes_.push_back(note);
    }
    arrived_.notify_all();
    std::lock_guard lock(actionMutex_);
    if (action_) action_(note);
  }

  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Note> notes_;
  std::mutex actionMutex_;  // held while the action runs
  std::function<void(const Note&)> action_;
};

// The next message of a thread queue, waiting for it no longer than kWatchdog.
inline std::optional<ThreadMessage> nextMessage(ThreadMessageQueue& queue) {
  const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
  for (;;) {
    if (auto message = queue.peek()) return message;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds::zero()) return std::nullopt;
    queue.waitForMessage(left);
  }
}

// Runs `work` on a thread of its own and returns its result. A call that has not
// returned after kWatchdog ends the test program with a message: the thread cannot
// be stopped, and waiting for it would hang the test.
template <class Work>
auto runWithWatchdog(Work work, const char* what) -> decltype(work()) {
  // Joined, not detached: under wine a detached thread of this toolchain sometimes
  // never starts.
  std::packaged_task<decltype(work())()> task(std::move(work));
  auto future = task.get_future();
  std::thread thread(std::move(task));
  if (future.wait_for(kWatchdog) != std::future_status::ready) {
    std::fprintf(stderr, "watchdog: %s did not return\n", what);
    std::abort();
  }
  thread.join();
  return future.get();
}

inline Bytes sysex(std::size_t length, std::uint8_t seed = 0) {
  Bytes bytes(length);
  bytes.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < length; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) & 0x7F);
  bytes.back() = 0xF7;
  return bytes;
}

}  // namespace tonelink::test
