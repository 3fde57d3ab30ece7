#include "app/jobs/ReceiveJob.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>

#include "app/jobs/AtomicFile.h"
#include "app/jobs/PcFiles.h"
#include "app/messages/MessageCatalogue.h"
#include "app/messages/UiStrings.h"
#include "app/platform/Utf8Path.h"
#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly {

namespace {

namespace fs = std::filesystem;
using protocol::LinkResult;

// "Failed to create "%s"." of the user-interface strings.
constexpr unsigned kStringCannotCreate = 1054;

class ReceiveJob {
 public:
  ReceiveJob(const ReceiveRequest& request, JobEnvironment& environment)
      : request_(request),
        environment_(environment),
        tree_(*request.tree),
        transfer_(environment.link, state_.transfer, environment.settings.pacing) {}

  JobOutcome run();

 private:
  JobEnd overwriteCheck();
  bool spaceCheck();
  void receiveWorker();
  // Writes the received file; false after the user has been told it cannot be created.
  bool writePcFile(std::size_t index, std::uint32_t size);
  JobOutcome report();

  const FolderNode* entry(std::size_t index) const { return request_.receiveFiles[index]; }
  // The folder below the destination that the entry goes into; empty for the
  // destination itself.
  const std::string& subfolder(std::size_t index) const {
    static const std::string kNone;
    return index < request_.pcSubfolders.size() ? request_.pcSubfolders[index] : kNone;
  }
  // The entry's name for messages and the progress display, with its folder below
  // the destination in front.
  std::string shownName(std::size_t index) const {
    const std::string name = protocol::displayText(tree_.nameOf(entry(index)));
    return subfolder(index).empty() ? name : subfolder(index) + "/" + name;
  }
  // The PC file the entry is written to; nothing for a name that cannot be a plain
  // PC file name in the destination folder.
  std::optional<fs::path> pcPathOf(std::size_t index) const;
  std::uint64_t freeBytes() const {
    return environment_.freeSpace(platform::pathFromUtf8(state_.destinationFolder)).value_or(0);
  }

  const ReceiveRequest& request_;
  JobEnvironment& environment_;
  InstrumentFolderTree& tree_;
  TransferJobState state_;
  protocol::BulkTransfer transfer_;
};

std::optional<fs::path> ReceiveJob::pcPathOf(std::size_t index) const {
  const std::optional<std::string> name = protocol::shiftJisToUtf8(tree_.nameOf(entry(index)));
  if (!name || !isPlainFileName(*name)) return std::nullopt;
  const std::string& folder = subfolder(index);
  if (folder.empty()) return platform::pathFromUtf8(state_.destinationFolder + *name);
  // The caller has made the folders of plain names; a part that is not one would lead
  // outside the destination.
  for (std::size_t start = 0; start <= folder.size();) {
    const std::size_t end = std::min(folder.find('/', start), folder.size());
    if (!isPlainFileName(std::string_view(folder).substr(start, end - start))) return std::nullopt;
    start = end + 1;
  }
  return platform::pathFromUtf8(state_.destinationFolder + folder + "/" + *name);
}

JobOutcome ReceiveJob::run() {
  state_.destinationFolder = withTrailingSeparator(request_.pcFolder);
  if (const JobEnd end = overwriteCheck(); end != JobEnd::Completed) return {end};
  state_.currentIndex.store(0);
  if (!spaceCheck()) {
    transfer_.sendError();
    environment_.ui.show(MessageId::NoRoomToCreate, shownName(0));
    return {JobEnd::Refused};
  }
  if (!state_.bufferAllocated) {
    environment_.ui.show(MessageId::OutOfMemory);
    return {JobEnd::Refused};
  }
  std::vector<std::string> names;
  for (std::size_t i = 0; i < request_.receiveFiles.size(); ++i) names.push_back(shownName(i));
  runPolledWorker(state_, environment_.ui, TransferKind::Receive, names, [this] { receiveWorker(); });
  return report();
}

// Completed when the job goes on; otherwise why it ends here.
JobEnd ReceiveJob::overwriteCheck() {
  return checkOverwrites(
      state_.marks, request_.receiveFiles.size(), environment_.ui,
      [this](std::size_t i) {
        // A name that cannot be a PC file name is refused by the worker when its turn comes.
        const std::optional<fs::path> path = pcPathOf(i);
        const PcEntryKind kind = path ? pcEntryKind(*path) : PcEntryKind::None;
        if (kind == PcEntryKind::None) return ExistingEntry::None;
        return kind == PcEntryKind::File ? ExistingEntry::File : ExistingEntry::Other;
      },
      [this](std::size_t i) { return shownName(i); });
}

bool ReceiveJob::spaceCheck() {
  state_.bytesDone.store(0);
  std::uint64_t total = 0;
  std::uint32_t largest = 0;
  for (std::size_t i = 0; i < state_.marks.size(); ++i) {
    if (state_.marks[i] == EntryMark::Skip) continue;
    const std::uint32_t size = tree_.sizeOf(entry(i));
    total += size;
    largest = std::max(largest, size);
  }
  state_.bytesTotal.store(total);
  try {
    state_.buffer.assign(largest, 0);
    state_.bufferAllocated = true;
  } catch (const std::bad_alloc&) {
    state_.bufferAllocated = false;
  }
  // A failed query counts as no room.
  return freeBytes() >= total;
}

void ReceiveJob::receiveWorker() {
  environment_.link.resetQueue();
  const std::size_t count = request_.receiveFiles.size();
  for (std::size_t i = 0; i < count; ++i) {
    state_.currentIndex.store(static_cast<std::int32_t>(i));
    if (state_.marks[i] == EntryMark::Skip) continue;
    if (state_.transfer.continueFlag.load() == 0) {
      state_.result.store(WorkerResult::CancelledBetweenFiles);
      return;
    }
    // Refused before anything is asked of the instrument: such a name could lead
    // outside the chosen folder.
    if (!pcPathOf(i)) {
      environment_.ui.showString(kStringCannotCreate + stringBase(), shownName(i));
      state_.result.store(WorkerResult::FileNotCreated);
      return;
    }
    const std::uint32_t size = tree_.sizeOf(entry(i));
    if (freeBytes() < size) {
      state_.result.store(WorkerResult::NoRoom);
      return;
    }
    state_.transfer.progressBytes.store(0);
    state_.progressPaused.store(0);
    const LinkResult result =
        receiveOneFile(transfer_, tree_.pathOf(entry(i)), std::span(state_.buffer).first(size), size);
    if (result != protocol::kLinkSuccess) {
      state_.failure = result;
      state_.result.store(WorkerResult::TransferFailed);
      return;
    }
    state_.bytesDone.fetch_add(state_.transfer.progressBytes.exchange(0));
    state_.progressPaused.store(0);
    if (!writePcFile(i, size)) {
      state_.result.store(WorkerResult::FileNotCreated);
      return;
    }
  }
  state_.currentIndex.store(static_cast<std::int32_t>(count));
  state_.result.store(WorkerResult::AllDone);
}

bool ReceiveJob::writePcFile(std::size_t index, std::uint32_t size) {
  const fs::path path = *pcPathOf(index);
  if (state_.marks[index] == EntryMark::Replace) clearReadOnly(path);
  // Through a temporary file in the same folder: the old file stays whole until the
  // new one is complete on the disk.
  if (writeFileAtomically(path, std::span(state_.buffer).first(size))) {
    environment_.ui.showString(kStringCannotCreate + stringBase(), shownName(index));
    return false;
  }
  return true;
}

JobOutcome ReceiveJob::report() {
  const auto index = static_cast<std::size_t>(state_.currentIndex.load());
  switch (state_.result.load()) {
    case WorkerResult::AllDone:
      environment_.ui.show(MessageId::ReceiveCompleted);
      return {JobEnd::Completed};
    case WorkerResult::NoRoom:
      transfer_.sendError();
      environment_.ui.show(MessageId::NoRoomToCreate, shownName(index));
      return {JobEnd::Failed};
    case WorkerResult::TransferFailed:
      if (state_.transfer.continueFlag.load() == 1) {
        transfer_.sendError();
        environment_.ui.show(MessageId::ReceiveFailed);
        return {JobEnd::Failed, state_.failure};
      }
      transfer_.sendCancel();
      environment_.ui.show(MessageId::ReceiveCancelled);
      environment_.link.resetQueue();
      return {JobEnd::Cancelled};
    case WorkerResult::CancelledBetweenFiles:
      environment_.ui.show(MessageId::ReceiveCancelled);
      return {JobEnd::Cancelled};
    case WorkerResult::FileNotCreated:
      return {JobEnd::FileError};
    default:
      return {JobEnd::NotStarted};
  }
}

}  // namespace

JobOutcome runReceiveJob(const ReceiveRequest& request, JobEnvironment& environment) {
  ReceiveJob job(request, environment);
  JobOutcome outcome = job.run();
  outcome.folder = request.pcFolder;
  return outcome;
}

LinkResult receiveOneFile(protocol::BulkTransfer& transfer, std::string_view instrumentPath,
                          std::span<std::uint8_t> buffer, std::uint32_t expectedSize) {
  std::uint32_t announced = 0;
  if (const LinkResult result = transfer.requestFile(instrumentPath, announced); result != protocol::kLinkSuccess) {
    return result;
  }
  if (announced != expectedSize) return protocol::kLinkRefused;
  const LinkResult result = transfer.receiveBlocks(buffer);
  if (result == protocol::kLinkSuccess) transfer.sendFinished();
  return result;
}

}  // namespace quaverly
