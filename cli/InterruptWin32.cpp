#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>

#include "cli/Interrupt.h"

namespace quaverly::cli {

namespace {

std::atomic<bool> interruptRequested{false};

// Runs on a thread the console starts for the event.
BOOL WINAPI onConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second Ctrl-C: the user does not want to wait for the tidy end, and the
  // system's own handler ends the process.
  return interruptRequested.exchange(true) ? FALSE : TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

InterruptGuard::~InterruptGuard() { SetConsoleCtrlHandler(onConsoleEvent, FALSE); }

bool InterruptGuard::requested() { return interruptRequested.load(); }

}  // namespace quaverly::cli
