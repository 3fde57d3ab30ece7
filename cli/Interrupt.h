// Ctrl-C while quaverly-cli works with the instrument: the first one asks the running
// transfer to cancel the way the progress window's Cancel does, so the instrument is
// told and left tidy; a second one ends the process at once.
#pragma once

namespace quaverly::cli {

class InterruptGuard {
 public:
  // Catches SIGINT (Ctrl-C and Ctrl-Break of the console on Windows) until the guard
  // goes out of scope.
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // True once Ctrl-C has been pressed while a guard was in place.
  static bool requested();
};

// The exit status of a command that Ctrl-C cancelled: 128 + SIGINT, as a shell reports it.
inline constexpr int kExitInterrupted = 130;

}  // namespace quaverly::cli
