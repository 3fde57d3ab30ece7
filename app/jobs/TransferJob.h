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

#include "app/jobs/PcFiles.h"
#include "app/jobs/ProgressDisplay.h"
#include "app/jobs/TransferJobState.h"
#include "app/protocol/Link.h"
#include "app/settings/AppSettings.h"

namespace quaverly {

struct JobEnvironment {
  protocol::Link& link;
  // Read for the pacing and the conversion choice; the job stores the PC folder it
  // used into currentFolder.
  AppSettings& settings;
  ProgressDisplayFactory progress;
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

struct JobOutcome {
  JobEnd end = JobEnd::Completed;
  protocol::LinkResult failure = protocol::kLinkSuccess;  // the link's result behind Failed
  int filesSkipped = 0;                                   // files left out because they could not be converted
};

// Creates the progress display of `kind` (range 0 to 100, at 0), starts `worker` on a
// thread of its own (running, continueFlag and progressPaused set first) and, until
// it has finished, keeps the display up to date with the percentage and the bytes
// while progressPaused is 0, and turns a press of Cancel into continueFlag = 0. The
// loop blocks between passes for a few milliseconds at most, so the display stays
// live without spinning a core. `names` are the batch entries' names as the display
// shows them. The display is closed before this returns. When the thread cannot be
// started, result is kNotStarted.
void runPolledWorker(TransferJobState& state, const ProgressDisplayFactory& progress, TransferKind kind,
                     const std::vector<std::string>& names, const std::function<void()>& worker);

// The overwrite question for one batch entry whose name is taken at the destination,
// asked while `asking` holds: No skips the entry (its mark becomes kSkip and
// `accepted` drops by one), Yes to All stops the asking, Yes keeps the entry. False
// when the answer was Cancel.
bool askOverwrite(std::string_view name, bool& asking, EntryMark& mark, std::size_t& accepted);

}  // namespace quaverly
