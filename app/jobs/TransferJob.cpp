#include "app/jobs/TransferJob.h"

#include "app/messages/MessageCatalogue.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace quaverly {

namespace {

// Long enough not to cost a core, short enough that the bar and Cancel feel immediate.
constexpr std::chrono::milliseconds kPollInterval{15};
// After the name of a file that is being read back for comparison.
constexpr std::string_view kReadingBack = " (reading back)";

}  // namespace

void runPolledWorker(TransferJobState& state, JobUserInterface& ui, TransferKind kind,
                     const std::vector<std::string>& names, const std::function<void()>& worker) {
  const std::unique_ptr<ProgressDisplay> owned = ui.progress(kind);
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
      std::string name = index < names.size() ? names[index] : std::string();
      if (state.readingBack.load() == 1) name += kReadingBack;
      display.showBytes(name, state.bytesDone.load() + state.transfer.progressBytes.load(), state.bytesTotal.load());
    }
    if (display.pollCancel()) state.transfer.continueFlag.store(0);
    state.waitForWorker(kPollInterval);
  }
  thread.join();
}

JobEnd checkOverwrites(std::vector<EntryMark>& marks, std::size_t count, JobUserInterface& ui,
                       const std::function<ExistingEntry(std::size_t)>& existing,
                       const std::function<std::string(std::size_t)>& name) {
  marks.assign(count, EntryMark::Transfer);
  if (count == 0) return JobEnd::NothingToDo;
  bool asking = true;
  std::size_t accepted = count;
  for (std::size_t i = 0; i < count; ++i) {
    const ExistingEntry entry = existing(i);
    if (entry == ExistingEntry::None) continue;
    marks[i] = EntryMark::Replace;
    if (entry != ExistingEntry::File) {
      ui.show(MessageId::NameUsed);
      return JobEnd::Refused;
    }
    if (!asking) continue;
    switch (ui.show(MessageId::AskOverwrite, name(i))) {
      case MessageResult::Cancel:
        return JobEnd::Declined;
      case MessageResult::YesToAll:
        asking = false;
        break;
      case MessageResult::No:
        marks[i] = EntryMark::Skip;
        --accepted;
        break;
      default:
        break;
    }
  }
  return accepted != 0 ? JobEnd::Completed : JobEnd::NothingToDo;
}

}  // namespace quaverly
