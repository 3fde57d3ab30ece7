#include "cli/TransferTerminal.h"

#include <cctype>
#include <vector>

#include "app/messages/UiStrings.h"
#include "cli/Interrupt.h"
#include "cli/TerminalMessages.h"

namespace quaverly::cli {

namespace {

constexpr char kCancelKey = 'c';

// One choice of the four: the key to type and the button's text without its '&'.
struct Choice {
  char key = 0;
  std::string label;
  MessageResult result = MessageResult::Cancel;
};

Choice choiceOf(std::string_view buttonText, MessageResult result) {
  Choice choice{0, {}, result};
  for (std::size_t i = 0; i < buttonText.size(); ++i) {
    if (buttonText[i] == '&' && i + 1 < buttonText.size()) {
      choice.key = static_cast<char>(std::tolower(static_cast<unsigned char>(buttonText[i + 1])));
      continue;
    }
    choice.label += buttonText[i];
  }
  return choice;
}

}  // namespace

TransferTerminal::TransferTerminal(std::ostream& err, bool errIsTerminal, std::istream& in, bool inIsTerminal,
                                   AnswerPolicy policy)
    : err_(err),
      errIsTerminal_(errIsTerminal),
      in_(in),
      inIsTerminal_(inIsTerminal),
      policy_(policy),
      lines_(terminalPresenter(err)) {}

MessagePresenter TransferTerminal::presenter() {
  return [this](MessageStyle style, std::string_view text) { return present(style, text); };
}

MessageResult TransferTerminal::present(MessageStyle style, std::string_view text) {
  const std::lock_guard lock(mutex_);
  endProgressLocked();
  if (style == MessageStyle::OverwriteQuestion || style == MessageStyle::ConvertQuestion) return ask(style, text);
  return lines_(style, text);
}

MessageResult TransferTerminal::ask(MessageStyle style, std::string_view text) {
  if (policy_ == AnswerPolicy::YesToAll) return MessageResult::YesToAll;
  if (policy_ == AnswerPolicy::No) return MessageResult::No;
  if (InterruptGuard::requested()) return MessageResult::Cancel;
  if (!inIsTerminal_) {
    lines_(MessageStyle::Notice, std::string(text) + " -- no terminal to answer on: Cancel (--yes or --no answer it)");
    return MessageResult::Cancel;
  }

  const FourChoiceTexts texts = fourChoiceButtonTexts(*fourChoiceVariant(style));
  std::vector<Choice> choices = {choiceOf(texts.yes, MessageResult::Yes),
                                 choiceOf(texts.yesToAll, MessageResult::YesToAll),
                                 choiceOf(texts.no, MessageResult::No), choiceOf(texts.cancel, MessageResult::Cancel)};
  // The dialog's Cancel has no key of its own (Esc is its key there): on the terminal
  // it is 'c', and Esc typed before Enter cancels as well. An empty line asks again,
  // so that a stray Enter never answers.
  Choice& cancel = choices.back();
  if (cancel.key == 0) cancel.key = kCancelKey;
  for (;;) {
    lines_(MessageStyle::Notice, text);
    for (const Choice& choice : choices) {
      err_ << "  [" << choice.key << (choice.result == MessageResult::Cancel ? "/Esc" : "") << "] " << choice.label;
    }
    err_ << "  > " << std::flush;
    std::string answer;
    // End of input, or Ctrl-C while waiting, is Cancel.
    if (!std::getline(in_, answer) || InterruptGuard::requested()) {
      err_ << '\n';
      return MessageResult::Cancel;
    }
    if (answer == "\x1b") return MessageResult::Cancel;
    if (answer.size() == 1) {
      const char key = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
      for (const Choice& choice : choices) {
        if (choice.key == key) return choice.result;
      }
    }
  }
}

void TransferTerminal::drawProgress(std::string_view line) {
  const std::lock_guard lock(mutex_);
  if (errIsTerminal_) {
    // Back to the line's start, the line, and the rest of the old one erased.
    err_ << '\r' << line << "\x1b[K" << std::flush;
    progressShown_ = true;
  } else {
    err_ << line << '\n' << std::flush;
  }
}

void TransferTerminal::endProgress() {
  const std::lock_guard lock(mutex_);
  endProgressLocked();
}

void TransferTerminal::endProgressLocked() {
  if (!progressShown_) return;
  err_ << '\n' << std::flush;
  progressShown_ = false;
}

}  // namespace quaverly::cli
