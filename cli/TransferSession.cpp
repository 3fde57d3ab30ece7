#include "cli/TransferSession.h"

#include <unistd.h>

#include <array>

#include "cli/Command.h"
#include "cli/OptionValue.h"
#include "cli/ProgressBar.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

std::optional<TransferOptions> parseTransferOptions(std::span<const std::string_view> args, bool sending,
                                                    std::string_view synopsis, std::ostream& err) {
  TransferOptions options;
  bool yes = false;
  bool no = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--yes") {
      yes = true;
    } else if (arg == "--no") {
      no = true;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-r" || arg == "--recursive") {
      options.recursive = true;
    } else if (arg == "--verify" && sending) {
      options.verify = true;
    } else if (looksLikeOption(arg)) {
      // --to FOLDER, and --convert MODE for the command that takes it.
      static constexpr std::array<std::string_view, 2> kValueOptions{"--to", "--convert"};
      const OptionValue option = takeOptionValue(args, i, std::span(kValueOptions).first(sending ? 2 : 1));
      if (!option.ok()) {
        printFailure(err, option.error);
        return std::nullopt;
      }
      if (option.name == "--to") {
        options.to = std::string(option.value);
      } else if (option.value == "always") {
        options.convertMode = 1;
      } else if (option.value == "never") {
        options.convertMode = 3;
      } else if (option.value == "ask") {
        options.convertMode = 0;
      } else {
        printFailure(err, "--convert takes always, never or ask, not '" + std::string(option.value) + "'");
        return std::nullopt;
      }
    } else {
      options.operands.push_back(arg);
    }
  }
  if (yes && no) {
    printFailure(err, "--yes and --no cannot be given together");
    return std::nullopt;
  }
  options.policy = yes ? AnswerPolicy::YesToAll : no ? AnswerPolicy::No : AnswerPolicy::Ask;
  if (options.operands.empty()) {
    printFailure(err, "usage: quaverly-cli " + std::string(synopsis));
    return std::nullopt;
  }
  return options;
}

TransferSession::TransferSession(const TransferOptions& options, std::ostream& err)
    : options_(options),
      terminal_(err, &err == &std::cerr && isatty(STDERR_FILENO) == 1, std::cin, isatty(STDIN_FILENO) == 1,
                options.policy),
      presenter_(terminal_.presenter()),
      ui_([this](TransferKind) { return std::make_unique<ProgressBar>(terminal_, options_.quiet); }) {}

JobEnvironment TransferSession::environment(DeviceSession& device) {
  const AppSettings& settings = device.settings();
  const TransferSettings transfer{{settings.intervalByteCount, settings.intervalTimeMs},
                                  options_.convertMode.value_or(settings.convertMode)};
  return JobEnvironment{device.link(), transfer, ui_};
}

int TransferSession::exitStatus(const JobOutcome& outcome) const {
  switch (outcome.end) {
    case JobEnd::Completed:
      return outcome.filesSkipped == 0 ? kExitSuccess : kExitRefused;
    case JobEnd::NothingToDo:
      return kExitSuccess;
    case JobEnd::FileError:
      return kExitUsageOrFile;
    case JobEnd::Failed:
      return outcome.failure == protocol::kLinkTimedOut || outcome.failure == protocol::kLinkNotSent ? kExitConnection
                                                                                                     : kExitRefused;
    case JobEnd::Cancelled:
      return InterruptGuard::requested() ? kExitInterrupted : kExitRefused;
    case JobEnd::Declined:
      return InterruptGuard::requested() ? kExitInterrupted : kExitRefused;
    case JobEnd::Refused:
    case JobEnd::NotStarted:
      return kExitRefused;
  }
  return kExitRefused;
}

}  // namespace quaverly::cli
