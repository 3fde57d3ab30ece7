#include "app/jobs/TransferJob.h"

#include "app/messages/MessageCatalogue.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace quaverly {

namespace {

// Long enough not to cost a core, short enough that the bar and Cancel feel immediate.
constexpr std::chrono::milliseconds kPollInterval{15};


}  // namespace

void runPolledWorker(TransferJobState& state, const ProgressDisplayFactory& progress, TransferKind kind,
                     const std::vector<std::string>& names, const std::function<void()>& worker) {
  const std::unique_ptr<ProgressDisplay> owned = progress(kind);
  ProgressDisplay& display = *owned;
  display.setRange(0, 100);
  display.setPos(0);
  state.running.store(1);
  state.transfer.continueFlag.store(1);
  state.progressPaused.store(1);
  std::thread thread;
  try {
    thread = std::thread([&state, &worker] {
      worker();
      state.finishWorker();
    });
  } catch (const std::system_error&) {
    state.running.store(0);
    state.result.store(WorkerResult::NotStarted);
    return;
  }
  while (state.running.load() == 1) {
    if (state.progressPaused.load() == 0) {
      display.setPos(state.percent());
      const auto index = static_cast<std::size_t>(state.currentIndex.load());
      display.showBytes(index < names.size() ? names[index] : std::string(),
                        state.bytesDone.load() + state.transfer.progressBytes.load(), state.bytesTotal.load());
    }
    if (display.pollCancel()) state.transfer.continueFlag.store(0);
    state.waitForWorker(kPollInterval);
  }
  thread.join();
}

bool askOverwrite(std::string_view name, bool& asking, EntryMark& mark, std::size_t& accepted) {
  if (!asking) return true;
  switch (showMessage(MessageId::AskOverwrite, name)) {
    case MessageResult::Cancel:
      return false;
    case MessageResult::YesToAll:
      asking = false;
      break;
    case MessageResult::No:
      mark = EntryMark::Skip;
      --accepted;
      break;
    default:
      break;
  }
  return true;
}

}  // namespace quaverly
