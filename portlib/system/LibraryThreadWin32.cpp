#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "portlib/system/LibraryThread.h"

namespace tonelink::mm {

struct LibraryThread::Native {
  std::function<void()> work;
  HANDLE thread = nullptr;
  HANDLE returned = nullptr;  // set once `work` has returned; the thread then parks
};

namespace {

DWORD WINAPI runParked(void* parameter) {
  auto* native = static_cast<LibraryThread::Native*>(parameter);
  native->work();
  SetEvent(native->returned);
  // Parked, holding no lock, until join() ends the thread.
  for (;;) Sleep(INFINITE);
}

}  // namespace

LibraryThread::LibraryThread() : native_(std::make_unique<Native>()) {}

LibraryThread::~LibraryThread() { join(); }

void LibraryThread::start(std::function<void()> work) {
  native_->work = std::move(work);
  native_->returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  native_->thread = CreateThread(nullptr, 0, runParked, native_.get(), 0, nullptr);
}

void LibraryThread::join() {
  if (!native_->thread) return;
  // At process exit the system has ended the thread already, before the library is
  // unloaded: then its handle is signalled and the event never will be.
  const HANDLE waits[] = {native_->returned, native_->thread};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  TerminateThread(native_->thread, 0);
  WaitForSingleObject(native_->thread, INFINITE);
  CloseHandle(native_->thread);
  CloseHandle(native_->returned);
  native_->thread = nullptr;
  native_->returned = nullptr;
  native_->work = nullptr;
}

}  // namespace tonelink::mm
