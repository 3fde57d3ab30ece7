// What get and put share: their options, the terminal that asks the questions and
// shows the progress, Ctrl-C, and the exit status a job's end gives.
#pragma once

#include <cstdint>
#include <iostream>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/jobs/TransferJob.h"
#include "app/messages/MessageCatalogue.h"
#include "cli/DeviceSession.h"
#include "cli/Interrupt.h"
#include "cli/TransferTerminal.h"

namespace quaverly::cli {

struct TransferOptions {
  std::optional<std::string> to;            // --to
  std::optional<std::int32_t> convertMode;  // --convert, as a "ConvertMode" value
  AnswerPolicy policy = AnswerPolicy::Ask;  // --yes, --no
  bool quiet = false;                       // -q
  bool recursive = false;                   // -r: folders with everything below them
  bool verify = false;                      // --verify: read each sent file back
  std::vector<std::string_view> operands;
};

// Reads --to, --yes, --no, -q, -r and, when `sending`, --convert always|never|ask
// and --verify. Prints the reason and gives nothing for wrong usage or no operands.
std::optional<TransferOptions> parseTransferOptions(std::span<const std::string_view> args, bool sending,
                                                    std::string_view synopsis, std::ostream& err);

// The common lines of get's and put's help.
inline constexpr std::string_view kTransferOptionsHelp =
    "  --yes      answer Yes to All to the questions\n"
    "  --no       answer No to the questions\n"
    "             Without either the questions are asked when standard input is a\n"
    "             terminal, and answered Cancel otherwise.\n"
    "  -q         no progress on standard error\n"
    "Ctrl-C cancels the transfer (exit status 130).\n";

// The questions and the progress on the terminal, and Ctrl-C, for as long as it lives.
class TransferSession {
 public:
  TransferSession(const TransferOptions& options, std::ostream& err);

  // What a job needs: the link, the transfer settings of `device` with --convert
  // applied, and the terminal's questions and progress bar.
  JobEnvironment environment(DeviceSession& device);
  // The exit status of a job that ended so.
  int exitStatus(const JobOutcome& outcome) const;

 private:
  const TransferOptions& options_;
  InterruptGuard interrupt_;
  TransferTerminal terminal_;
  ScopedMessagePresenter presenter_;
  PresenterJobUserInterface ui_;
};

}  // namespace quaverly::cli
