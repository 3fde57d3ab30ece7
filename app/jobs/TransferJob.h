// What the receive and the transmit job share: what they need from the program around
// them, how they report their end to a caller that is not a person (the command
// line), and the loop that keeps the progress display live while the worker runs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/jobs/JobUserInterface.h"
#include "app/jobs/PcFiles.h"
#include "app/jobs/ProgressDisplay.h"
#include "app/jobs/TransferJobState.h"
#include "app/protocol/BulkTransfer.h"
#include "app/protocol/Link.h"

namespace quaverly {

// What a job takes from the program's settings.
struct TransferSettings {
  protocol::PacingSettings pacing;  // "IntervalByteCount" and "IntervalTime(msec)"
  std::int32_t convertMode = 0;     // "ConvertMode": 1 always, 3 never, else ask (transmit only)
};

struct JobEnvironment {
  protocol::Link& link;
  TransferSettings settings;
  JobUserInterface& ui;
  // Free bytes for files in a PC folder; nothing when the query fails.
  std::function<std::optional<std::uint64_t>(const std::filesystem::path& folder)> freeSpace = pcFreeSpace;
};

// How a job ended. The user has been told already; this is for callers that turn it
// into an exit status.
enum class JobEnd {
  Completed,    // every marked file moved (see filesSkipped)
  NothingToDo,  // the batch was empty or the user declined every file
  Declined,     // the user answered Cancel to a question
  Refused,      // a check refused the batch (name in use, no room, no memory); nothing moved
  Failed,       // a transfer failed or the destination ran out of room midway
  FileError,    // a PC file could not be created or opened
  Cancelled,    // Cancel during the transfer
  NotStarted,   // the worker thread could not be started
};

// A file that came back from the instrument other than it was sent.
struct VerifyMismatch {
  std::string name;          // as the job shows it
  std::uint64_t offset = 0;  // the first byte that differs, or the shorter length
};

struct JobOutcome {
  JobEnd end = JobEnd::Completed;
  protocol::LinkResult failure = protocol::kLinkSuccess;  // the link's result behind Failed
  int filesSkipped = 0;                                   // files left out because they could not be converted
  // The PC folder the job worked in, for the program to remember as its current one.
  std::string folder{};
  // Files read back after sending that differed from what was sent (transmit with
  // verify only), in the order sent.
  std::vector<VerifyMismatch> mismatches{};
};

// Creates the progress display of `kind` (range 0 to 100, at 0), starts `worker` on a
// thread of its own (running, continueFlag and progressPaused set first) and, until
// it has finished, keeps the display up to date with the percentage and the bytes
// while progressPaused is 0, and turns a press of Cancel into continueFlag = 0. The
// loop blocks between passes for a few milliseconds at most, so the display stays
// live without spinning a core. `names` are the batch entries' names as the display
// shows them; while the state's readingBack is 1 the name says so. The display is
// closed before this returns. When the thread cannot be started, result is NotStarted.
void runPolledWorker(TransferJobState& state, JobUserInterface& ui, TransferKind kind,
                     const std::vector<std::string>& names, const std::function<void()>& worker);

// What stands at the destination under a batch entry's name.
enum class ExistingEntry { None, File, Other };

// The overwrite check of a batch of `count` entries: every entry is marked for
// transfer; one whose name a file takes at the destination is marked for replacing
// and asked about (No skips it, Yes to All stops the asking, Cancel declines the
// batch); a name taken by anything else refuses the batch with message 7. `existing`
// and `name` describe entry i.
JobEnd checkOverwrites(std::vector<EntryMark>& marks, std::size_t count, JobUserInterface& ui,
                       const std::function<ExistingEntry(std::size_t)>& existing,
                       const std::function<std::string(std::size_t)>& name);

}  // namespace quaverly
