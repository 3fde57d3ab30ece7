#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>

#include <signal.h>

namespace quaverly::cli {

namespace {

// Lock-free, so the handler may touch it.
std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction previousAction;

extern "C" void onInterrupt(int) {
  if (interruptRequested.exchange(true)) {
    // The second Ctrl-C: the user does not want to wait for the tidy end.
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
}

}  // namespace

InterruptGuard::InterruptGuard() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read from the terminal that waits for an answer returns, and the
  // question is answered Cancel.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, &previousAction);
}

InterruptGuard::~InterruptGuard() { sigaction(SIGINT, &previousAction, nullptr); }

bool InterruptGuard::requested() { return interruptRequested.load(); }

}  // namespace quaverly::cli
