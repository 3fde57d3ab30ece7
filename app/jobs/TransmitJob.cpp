#include "app/jobs/TransmitJob.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <limits>
#include <new>
#include <optional>

#include "app/jobs/PcFiles.h"
#include "app/messages/MessageCatalogue.h"
#include "app/platform/Utf8Path.h"
#include "app/protocol/FileCommands.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "app/smf/SmfMerger.h"

namespace quaverly {

namespace {

namespace fs = std::filesystem;
using protocol::LinkResult;

// "ConvertMode" values; any other value asks for each file.
constexpr std::int32_t kConvertAlways = 1;
constexpr std::int32_t kConvertNever = 3;

constexpr std::uint16_t kNotAnSmf = 0xFFFF;
// The merge engine's mode that works on a file held in memory.
constexpr int kMergeInMemory = 1;
// How often the worker looks at Cancel while a conversion runs.
constexpr std::chrono::milliseconds kMergePollInterval{10};

// The instrument folder with a separating backslash appended, unless it is empty or
// already ends with one (a double-byte character's trail byte is not one).
std::string withInstrumentSeparator(std::string folder) {
  if (!folder.empty() && protocol::lastSeparator(folder) != folder.size() - 1) folder += '\\';
  return folder;
}

class TransmitJob {
 public:
  TransmitJob(const TransmitRequest& request, JobEnvironment& environment)
      : request_(request),
        environment_(environment),
        tree_(*request.tree),
        transfer_(environment.link, state_.transfer, environment.settings.pacing) {}

  JobOutcome run();

 private:
  // Each gives JobEnd::Completed when the job goes on, else why it ends here.
  JobEnd nameCheck();
  JobEnd overwriteCheck();
  JobEnd conversionChoice();
  bool roomCheck();
  void transmitWorker();
  // Makes the request's new folders; false when one could not be made (see result).
  bool makeFolders();
  // Reads the file just sent back and notes where it differs from the buffer's first
  // `length` bytes. Anything but success means the read-back itself failed.
  LinkResult readBack(std::size_t index, std::string_view instrumentPath, std::uint32_t length);
  LinkResult compareWithInstrument(std::size_t index, std::string_view instrumentPath, std::uint32_t length);
  // Converts the file in the buffer; false when it is not sent (already reported or
  // cancelled, see result).
  bool convert(std::size_t index, std::uint32_t& length);
  JobOutcome report();

  fs::path pcPath(std::size_t index) const { return platform::pathFromUtf8(request_.transmitFiles[index]); }
  // The instrument folder the file goes into, with a separator at its end.
  std::string folderOf(std::size_t index) const {
    if (index >= request_.destinationSubfolders.size() || request_.destinationSubfolders[index].empty()) {
      return state_.destinationFolder;
    }
    return state_.destinationFolder + request_.destinationSubfolders[index] + '\\';
  }
  // The replaced file's node in the destination's tree, or none.
  FolderNode* existingNode(std::size_t index) const { return tree_.findByPath(folderOf(index) + wireNames_[index]); }
  // Each file is moved once, or twice when it is read back.
  std::uint64_t passes() const { return request_.verify ? 2 : 1; }
  // The bytes a replaced file gives back, 0 when there is none.
  std::uint32_t replacedSize(std::size_t index) const {
    const std::uint32_t size = tree_.sizeOf(existingNode(index));
    return size == InstrumentFolderTree::kNoSize ? 0 : size;
  }

  const TransmitRequest& request_;
  JobEnvironment& environment_;
  InstrumentFolderTree& tree_;
  TransferJobState state_;
  protocol::BulkTransfer transfer_;
  std::vector<std::string> names_;      // the file name of each PC path, UTF-8
  std::vector<std::string> wireNames_;  // the same in code page 932
  // What messages and the progress show: the name, after its folder below the
  // destination when it goes into one.
  std::vector<std::string> shownNames_;
  bool pcFileUnreadable_ = false;  // worker only: why the transfer failed
  // Worker only, read after it has been joined.
  std::vector<std::uint8_t> readBackBuffer_;
  std::vector<VerifyMismatch> mismatches_;
};

JobOutcome TransmitJob::run() {
  state_.destinationFolder = withInstrumentSeparator(request_.destinationPath);
  // Each check runs only when the ones before it completed: the first that ends the
  // job ends it, before anything more is asked.
  for (JobEnd (TransmitJob::*check)() :
       {&TransmitJob::nameCheck, &TransmitJob::overwriteCheck, &TransmitJob::conversionChoice}) {
    if (const JobEnd end = (this->*check)(); end != JobEnd::Completed) return {end};
  }
  state_.currentIndex.store(0);
  if (!roomCheck()) {
    environment_.ui.show(MessageId::CannotCreate, shownNames_.front());
    return {JobEnd::Refused};
  }
  if (!state_.bufferAllocated) {
    environment_.ui.show(MessageId::OutOfMemory);
    return {JobEnd::Refused};
  }
  runPolledWorker(state_, environment_.ui, TransferKind::Transmit, shownNames_, [this] { transmitWorker(); });
  JobOutcome outcome = report();
  // Files read back before a later failure or Cancel are reported too.
  outcome.mismatches = std::move(mismatches_);
  return outcome;
}

JobEnd TransmitJob::nameCheck() {
  for (std::size_t i = 0; i < request_.transmitFiles.size(); ++i) {
    names_.push_back(platform::utf8Of(pcPath(i).filename()));
    const bool inSubfolder = i < request_.destinationSubfolders.size() && !request_.destinationSubfolders[i].empty();
    shownNames_.push_back(inSubfolder ? protocol::displayText(request_.destinationSubfolders[i]) + '\\' + names_.back()
                                      : names_.back());
    // A name the instrument cannot hold is refused before anything is asked or sent.
    std::optional<std::string> wire = protocol::utf8ToShiftJis(names_.back());
    if (!wire) {
      environment_.ui.show(MessageId::CannotCreate, names_.back());
      return JobEnd::Refused;
    }
    wireNames_.push_back(std::move(*wire));
  }
  return JobEnd::Completed;
}

JobEnd TransmitJob::overwriteCheck() {
  return checkOverwrites(
      state_.marks, request_.transmitFiles.size(), environment_.ui,
      [this](std::size_t i) {
        const FolderNode* node = existingNode(i);
        if (!node) return ExistingEntry::None;
        return tree_.kindOf(node) == InstrumentFolderTree::kFile ? ExistingEntry::File : ExistingEntry::Other;
      },
      [this](std::size_t i) { return shownNames_[i]; });
}

JobEnd TransmitJob::conversionChoice() {
  const std::int32_t mode = environment_.settings.convertMode;
  state_.convertMarks.assign(state_.marks.size(),
                             mode == kConvertNever ? ConvertMark::Unchanged : ConvertMark::Convert);
  if (mode == kConvertNever) return JobEnd::Completed;
  bool convertAll = mode == kConvertAlways;
  for (std::size_t i = 0; i < state_.marks.size(); ++i) {
    if (state_.marks[i] == EntryMark::Skip) continue;
    if (smfFormatOf(pcPath(i)) != 1) {
      state_.convertMarks[i] = ConvertMark::Unchanged;
      continue;
    }
    if (convertAll) continue;
    switch (environment_.ui.show(MessageId::AskConvert, shownNames_[i])) {
      case MessageResult::Cancel:
        return JobEnd::Declined;
      case MessageResult::No:
        state_.convertMarks[i] = ConvertMark::Unchanged;
        break;
      case MessageResult::YesToAll:
        convertAll = true;
        break;
      default:
        break;
    }
  }
  return JobEnd::Completed;
}

bool TransmitJob::roomCheck() {
  std::uint32_t instrumentFree = 0;
  if (protocol::freeSpace(environment_.link, instrumentFree) != protocol::kLinkSuccess) {
    environment_.ui.show(MessageId::TransmitFailed);
    return false;
  }
  std::uint64_t free = instrumentFree;
  std::uint64_t total = 0;
  std::uint64_t largest = 0;
  state_.bytesDone.store(0);
  for (std::size_t i = 0; i < state_.marks.size(); ++i) {
    if (state_.marks[i] == EntryMark::Skip) continue;
    // A file that has gone is reported by the worker when its turn comes. Sizes are
    // counted whole: a file beyond 4 GiB cannot fit, rather than being counted by
    // its low 32 bits.
    if (const std::optional<std::uint64_t> size = pcFileSize(pcPath(i))) {
      largest = std::max(largest, *size);
      total += *size;
    }
    free += replacedSize(i);
  }
  state_.bytesTotal.store(total * passes());
  if (total > free) return false;
  try {
    // Twice the largest file: a conversion may make a file longer. The buffer grows
    // later should a conversion need even more.
    state_.buffer.reserve(static_cast<std::size_t>(largest) * 2);
    if (request_.verify) readBackBuffer_.reserve(static_cast<std::size_t>(largest) * 2);
    state_.bufferAllocated = true;
  } catch (const std::exception&) {
    state_.bufferAllocated = false;
  }
  return true;
}

void TransmitJob::transmitWorker() {
  state_.partialFilePending = false;
  if (!makeFolders()) return;
  const std::size_t count = state_.marks.size();
  for (std::size_t i = 0; i < count; ++i) {
    state_.currentIndex.store(static_cast<std::int32_t>(i));
    if (state_.marks[i] == EntryMark::Skip) continue;
    if (state_.transfer.continueFlag.load() == 0) {
      state_.result.store(WorkerResult::CancelledBetweenFiles);
      return;
    }
    bool readable = false;
    try {
      readable = readWholeFile(pcPath(i), state_.buffer);
    } catch (const std::bad_alloc&) {
      // A file that grew beyond every estimate since it was chosen.
    }
    if (!readable) {
      environment_.ui.show(MessageId::CannotOpen);
      pcFileUnreadable_ = true;
      state_.result.store(WorkerResult::TransferFailed);
      return;
    }
    if (state_.buffer.size() > std::numeric_limits<std::uint32_t>::max()) {
      state_.result.store(WorkerResult::NoRoom);
      return;
    }
    auto length = static_cast<std::uint32_t>(state_.buffer.size());
    if (state_.convertMarks[i] == ConvertMark::Convert && !convert(i, length)) {
      if (state_.result.load() == WorkerResult::CancelledBetweenFiles) return;
      continue;
    }
    std::uint32_t instrumentFree = 0;
    if (const LinkResult result = protocol::freeSpace(environment_.link, instrumentFree);
        result != protocol::kLinkSuccess) {
      state_.failure = result;
      state_.result.store(WorkerResult::TransferFailed);
      return;
    }
    if (length > std::uint64_t{instrumentFree} + replacedSize(i)) {
      state_.result.store(WorkerResult::NoRoom);
      return;
    }
    const std::string instrumentPath = folderOf(i) + wireNames_[i];
    if (state_.marks[i] == EntryMark::Replace) protocol::deleteFile(environment_.link, instrumentPath);
    state_.transfer.progressBytes.store(0);
    state_.progressPaused.store(0);
    const LinkResult result =
        transmitOneFile(transfer_, state_.transfer.continueFlag, instrumentPath, std::span(state_.buffer).first(length),
                        state_.partialFilePending, state_.partialFilePath);
    if (result != protocol::kLinkSuccess) {
      state_.failure = result;
      state_.result.store(WorkerResult::TransferFailed);
      return;
    }
    state_.bytesDone.fetch_add(state_.transfer.progressBytes.load());
    state_.progressPaused.store(1);
    if (request_.verify) {
      if (const LinkResult readBackResult = readBack(i, instrumentPath, length);
          readBackResult != protocol::kLinkSuccess) {
        state_.failure = readBackResult;
        state_.result.store(WorkerResult::TransferFailed);
        return;
      }
    }
  }
  state_.currentIndex.store(static_cast<std::int32_t>(count));
  state_.result.store(WorkerResult::AllDone);
}

bool TransmitJob::makeFolders() {
  for (const std::string& folder : request_.foldersToMake) {
    if (const LinkResult result = protocol::makeFolder(environment_.link, folder); result != protocol::kLinkSuccess) {
      state_.failure = result;
      state_.result.store(WorkerResult::TransferFailed);
      return false;
    }
  }
  return true;
}

LinkResult TransmitJob::readBack(std::size_t index, std::string_view instrumentPath, std::uint32_t length) {
  state_.transfer.progressBytes.store(0);
  state_.readingBack.store(1);
  state_.progressPaused.store(0);
  const LinkResult result = compareWithInstrument(index, instrumentPath, length);
  state_.progressPaused.store(1);
  state_.readingBack.store(0);
  // The file's second pass counts whole, however much of it came back.
  state_.transfer.progressBytes.store(0);
  state_.bytesDone.fetch_add(length);
  return result;
}

LinkResult TransmitJob::compareWithInstrument(std::size_t index, std::string_view instrumentPath,
                                              std::uint32_t length) {
  try {
    readBackBuffer_.resize(length);
  } catch (const std::bad_alloc&) {
    // Nothing has been asked yet; the job ends as a failed transfer.
    return protocol::kLinkRefused;
  }
  std::uint32_t announced = 0;
  if (const LinkResult result = transfer_.requestFile(instrumentPath, announced); result != protocol::kLinkSuccess) {
    return result;
  }
  if (announced != length) {
    // Its size alone tells: the blocks are not asked for.
    transfer_.sendError();
    mismatches_.push_back({shownNames_[index], std::min(announced, length)});
    return protocol::kLinkSuccess;
  }
  if (const LinkResult result = transfer_.receiveBlocks(readBackBuffer_); result != protocol::kLinkSuccess) {
    return result;
  }
  transfer_.sendFinished();
  const auto sent = std::span(state_.buffer).first(length);
  const auto differs = std::mismatch(sent.begin(), sent.end(), readBackBuffer_.begin());
  if (differs.first != sent.end()) {
    mismatches_.push_back({shownNames_[index], static_cast<std::uint64_t>(differs.first - sent.begin())});
  }
  return protocol::kLinkSuccess;
}

bool TransmitJob::convert(std::size_t index, std::uint32_t& length) {
  smf::CSmfMerger merger;
  merger.start(kMergeInMemory, state_.buffer.data(), length);
  while (merger.running()) {
    if (state_.transfer.continueFlag.load() == 0) merger.cancel();
    merger.waitFor(kMergePollInterval);
  }
  if (state_.transfer.continueFlag.load() == 0) {
    state_.result.store(WorkerResult::CancelledBetweenFiles);
    return false;
  }
  const std::int32_t status = merger.status();
  if (status == smf::CSmfMerger::kNotFormat1) return true;
  if (status == smf::CSmfMerger::kSuccess) {
    try {
      const std::span<const std::uint8_t> converted = merger.output();
      // The converted file replaces the original in the buffer, which grows when the
      // file got longer than the room kept for it.
      state_.buffer.assign(converted.begin(), converted.end());
      state_.bytesTotal.fetch_sub(length * passes());
      length = static_cast<std::uint32_t>(converted.size());
      state_.bytesTotal.fetch_add(length * passes());
      return true;
    } catch (const std::bad_alloc&) {
      // Reported like any other conversion that failed.
    }
  }
  environment_.ui.show(MessageId::NotConverted, shownNames_[index]);
  state_.bytesDone.fetch_add(length * passes());
  ++state_.filesSkipped;
  return false;
}

JobOutcome TransmitJob::report() {
  const auto index = static_cast<std::size_t>(state_.currentIndex.load());
  WorkerResult result = state_.result.load();
  if (result == WorkerResult::TransferFailed && state_.transfer.continueFlag.load() == 0) {
    transfer_.sendCancel();
    result = WorkerResult::CancelledBetweenFiles;
  }
  switch (result) {
    case WorkerResult::AllDone:
      environment_.ui.show(MessageId::TransmitCompleted);
      return {JobEnd::Completed, protocol::kLinkSuccess, state_.filesSkipped};
    case WorkerResult::NoRoom:
      environment_.ui.show(MessageId::CannotCreate, shownNames_[index]);
      return {JobEnd::Failed, protocol::kLinkRefused, state_.filesSkipped};
    case WorkerResult::TransferFailed:
      environment_.ui.show(MessageId::TransmitFailed);
      return {pcFileUnreadable_ ? JobEnd::FileError : JobEnd::Failed, state_.failure, state_.filesSkipped};
    case WorkerResult::CancelledBetweenFiles:
      // The file the instrument was creating when the user cancelled is removed.
      if (state_.partialFilePending) protocol::deleteFile(environment_.link, state_.partialFilePath);
      environment_.ui.show(MessageId::TransmitCancelled);
      return {JobEnd::Cancelled, protocol::kLinkSuccess, state_.filesSkipped};
    default:
      return {JobEnd::NotStarted};
  }
}

}  // namespace

JobOutcome runTransmitJob(const TransmitRequest& request, JobEnvironment& environment) {
  TransmitJob job(request, environment);
  JobOutcome outcome = job.run();
  outcome.folder = request.pcFolder;
  return outcome;
}

LinkResult transmitOneFile(protocol::BulkTransfer& transfer, const std::atomic<std::uint32_t>& continueFlag,
                           std::string_view instrumentPath, std::span<const std::uint8_t> data,
                           bool& partialFilePending, std::string& partialFilePath) {
  if (const LinkResult result = transfer.sendHeader(static_cast<std::uint32_t>(data.size()), instrumentPath);
      result != protocol::kLinkSuccess) {
    return result;
  }
  LinkResult result = transfer.sendBlocks(data);
  if (result == protocol::kLinkSuccess) result = transfer.sendEndOfData();
  if (result == protocol::kLinkNotSent || (result == protocol::kLinkRefused && continueFlag.load() == 0)) {
    partialFilePending = true;
    partialFilePath = std::string(instrumentPath);
  }
  return result;
}

std::uint16_t smfFormatOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, 14> header{};
  if (!in || !in.read(header.data(), header.size())) return kNotAnSmf;
  constexpr std::array<char, 8> kExpected{'M', 'T', 'h', 'd', 0, 0, 0, 6};
  if (!std::equal(kExpected.begin(), kExpected.end(), header.begin())) return kNotAnSmf;
  return static_cast<std::uint16_t>((static_cast<unsigned char>(header[8]) << 8) |
                                    static_cast<unsigned char>(header[9]));
}

}  // namespace quaverly
