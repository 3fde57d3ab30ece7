// The terminal side of get and put: the overwrite and convert questions with their
// four choices, the program's messages as lines, and one progress line that is
// redrawn in place on a terminal. Messages come from the job's worker thread too, so
// everything written goes through one lock, and a message first ends a progress line
// that is being redrawn.
#pragma once

#include <istream>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

#include "app/messages/MessageCatalogue.h"

namespace quaverly::cli {

// How the questions are answered.
enum class AnswerPolicy {
  Ask,       // on the terminal when standard input is one, else Cancel
  YesToAll,  // --yes
  No,        // --no
};

class TransferTerminal {
 public:
  TransferTerminal(std::ostream& err, bool errIsTerminal, std::istream& in, bool inIsTerminal, AnswerPolicy policy);

  // The presenter for the job's messages and questions. It refers to this object.
  MessagePresenter presenter();

  bool isTerminal() const { return errIsTerminal_; }
  // Draws the progress line: in place on a terminal, as a line of its own otherwise.
  void drawProgress(std::string_view line);
  // Ends a progress line drawn in place, so that what follows starts on a new line.
  void endProgress();

 private:
  MessageResult present(MessageStyle style, std::string_view text);
  MessageResult ask(MessageStyle style, std::string_view text);
  void endProgressLocked();

  std::ostream& err_;
  const bool errIsTerminal_;
  std::istream& in_;
  const bool inIsTerminal_;
  const AnswerPolicy policy_;
  MessagePresenter lines_;

  std::mutex mutex_;
  bool progressShown_ = false;  // a progress line stands on the terminal without its line break
};

}  // namespace quaverly::cli
