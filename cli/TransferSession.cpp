#include "cli/TransferSession.h"

#include <unistd.h>

#include "cli/Command.h"
#include "cli/ProgressBar.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

std::optional<TransferOptions> parseTransferOptions(std::span<const std::string_view> args, bool takesConvert,
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
    } else if (arg == "--to" || arg.starts_with("--to=") ||
               (takesConvert && (arg == "--convert" || arg.starts_with("--convert=")))) {
      const std::size_t equals = arg.find('=');
      const std::string_view name = arg.substr(0, equals);
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        printFailure(err, "option " + std::string(name) + " needs a value");
        return std::nullopt;
      }
      if (name == "--to") {
        options.to = std::string(value);
      } else if (value == "always") {
        options.convertMode = 1;
      } else if (value == "never") {
        options.convertMode = 3;
      } else if (value == "ask") {
        options.convertMode = 0;
      } else {
        printFailure(err, "--convert takes always, never or ask, not '" + std::string(value) + "'");
        return std::nullopt;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      printFailure(err, "unknown option '" + std::string(arg) + "'");
      return std::nullopt;
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
      presenter_(terminal_.presenter()) {}

JobEnvironment TransferSession::environment(DeviceSession& device) {
  settings_ = device.settings();
  if (options_.convertMode) settings_.convertMode = *options_.convertMode;
  return JobEnvironment{device.link(), settings_,
                        [this](TransferKind) { return std::make_unique<ProgressBar>(terminal_, options_.quiet); }};
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
