// The receive job: copies a batch of files from the instrument's file memory into one
// PC folder. The checks, the questions and the end message run on the calling
// (user-interface) thread; the files move on a worker thread while the caller keeps
// the progress display live and watches for Cancel.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/jobs/InstrumentFolderTree.h"
#include "app/jobs/TransferJob.h"
#include "app/protocol/BulkTransfer.h"

namespace quaverly {

struct ReceiveRequest {
  std::string pcFolder;  // UTF-8; empty means the current folder
  InstrumentFolderTree* tree = nullptr;
  std::vector<FolderNode*> receiveFiles;  // file nodes of `tree`, in the order to receive
  // For a whole tree: per file, the folder below pcFolder that it goes into (UTF-8,
  // parts joined by '/', made already). Empty: every file goes into pcFolder.
  std::vector<std::string> pcSubfolders{};
};

// The whole job; returns when the end message has been shown (or after a refusal).
// settings.currentFolder becomes request.pcFolder. Every PC file is written whole
// through a temporary file, so an existing file keeps its contents when its
// transfer or its writing fails.
JobOutcome runReceiveJob(const ReceiveRequest& request, JobEnvironment& environment);

// One file into `buffer`: asks for it, checks that the announced size is
// `expectedSize`, receives its blocks and confirms the end. kLinkSuccess when the
// whole file is in the buffer.
protocol::LinkResult receiveOneFile(protocol::BulkTransfer& transfer, std::string_view instrumentPath,
                                    std::span<std::uint8_t> buffer, std::uint32_t expectedSize);

}  // namespace quaverly
