// How a transfer job reaches the user: its messages, its questions and its progress
// display.
//
// The checks before a transfer call it on the user-interface thread. The worker
// calls it on its own thread while the user-interface thread runs the polling loop
// of runPolledWorker: such a call blocks the worker until the user has answered, so
// an implementation must answer a call from another thread while that loop runs
// (the GUI brings its dialog up on the user-interface thread and lets the worker
// wait; a terminal reads the answer on the calling thread).
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "app/jobs/ProgressDisplay.h"
#include "app/messages/MessageCatalogue.h"

namespace quaverly {

class JobUserInterface {
 public:
  virtual ~JobUserInterface() = default;

  // A catalogue message, or one of its questions; returns the answer.
  virtual MessageResult show(MessageId id, std::optional<std::string_view> argument = std::nullopt) = 0;
  // A user-interface string (its resource number) as a notice.
  virtual void showString(unsigned stringId, std::optional<std::string_view> argument) = 0;
  // The progress display of a transfer of `kind`.
  virtual std::unique_ptr<ProgressDisplay> progress(TransferKind kind) = 0;
};

// Messages and questions through the installed message presenter (showMessage), the
// progress displays from `factory`.
class PresenterJobUserInterface final : public JobUserInterface {
 public:
  explicit PresenterJobUserInterface(ProgressDisplayFactory factory) : factory_(std::move(factory)) {}

  MessageResult show(MessageId id, std::optional<std::string_view> argument = std::nullopt) override;
  void showString(unsigned stringId, std::optional<std::string_view> argument) override;
  std::unique_ptr<ProgressDisplay> progress(TransferKind kind) override { return factory_(kind); }

 private:
  ProgressDisplayFactory factory_;
};

}  // namespace quaverly
