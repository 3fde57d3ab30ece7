#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>

#include "portlib/system/LibraryThread.h"

// The loader lock as the system's own loader takes it (ntdll). A new thread takes it
// before its first instruction of ours, to tell every loaded library that it starts.
extern "C" {
NTSYSAPI LONG NTAPI LdrLockLoaderLock(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
NTSYSAPI LONG NTAPI LdrUnlockLoaderLock(ULONG flags, ULONG_PTR cookie);
}

namespace tonelink::mm {

struct LibraryThread::Native {
  enum State { kCreated, kWorking, kAbandoned };

  std::function<void()> work;
  HANDLE thread = nullptr;
  HANDLE returned = nullptr;  // set once `work` has returned or was skipped; the thread then parks
  std::atomic<int> state{kCreated};
};

namespace {

DWORD WINAPI runParked(void* parameter) {
  auto* native = static_cast<LibraryThread::Native*>(parameter);
  int created = LibraryThread::Native::kCreated;
  if (native->state.compare_exchange_strong(created, LibraryThread::Native::kWorking)) native->work();
  SetEvent(native->returned);
  // Parked, holding no lock, until join() ends the thread.
  for (;;) Sleep(INFINITE);
}

}  // namespace

LibraryThread::LibraryThread() : native_(std::make_unique<Native>()) {}

LibraryThread::~LibraryThread() { join(); }

void LibraryThread::start(std::function<void()> work) {
  native_->work = std::move(work);
  native_->state = Native::kCreated;
  native_->returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  native_->thread = CreateThread(nullptr, 0, runParked, native_.get(), 0, nullptr);
}

void LibraryThread::join() {
  if (!native_->thread) return;
  // The thread is created while the library loads, under the loader lock, and cannot
  // begin until that lock is free. When the library is unloaded before it has begun
  // (a program that loads and unloads at once, on a busy machine), the unload holds the
  // lock and the thread would never begin, nor return. So with the lock held (taken
  // again if the unload has it already), a thread that has not begun its work is told
  // to skip it: it is then either still waiting for the lock or on its way to park,
  // holding nothing either way, and is ended at once.
  ULONG_PTR cookie = 0;
  const bool locked = LdrLockLoaderLock(0, nullptr, &cookie) >= 0;
  int created = Native::kCreated;
  const bool abandoned = native_->state.compare_exchange_strong(created, Native::kAbandoned);
  if (abandoned && locked) {
    TerminateThread(native_->thread, 0);
    WaitForSingleObject(native_->thread, INFINITE);
  }
  if (locked) LdrUnlockLoaderLock(0, cookie);
  if (!(abandoned && locked)) {
    // The caller has made the work return. At process exit the system has ended the
    // thread already, before the library is unloaded: then its handle is signalled and
    // the event never will be.
    const HANDLE waits[] = {native_->returned, native_->thread};
    WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    TerminateThread(native_->thread, 0);
    WaitForSingleObject(native_->thread, INFINITE);
  }
  CloseHandle(native_->thread);
  CloseHandle(native_->returned);
  native_->thread = nullptr;
  native_->returned = nullptr;
  native_->work = nullptr;
}

}  // namespace tonelink::mm
