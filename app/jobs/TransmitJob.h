// The transmit job: copies a batch of PC files into one folder of the instrument's file
// memory, converting Standard MIDI Files of format 1 to format 0 on the way when the
// settings or the user ask for it. Same shape as the receive job: checks and
// questions on the calling thread, the files moved by a worker thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/jobs/InstrumentFolderTree.h"
#include "app/jobs/TransferJob.h"
#include "app/protocol/BulkTransfer.h"

namespace quaverly {

struct TransmitRequest {
  std::string pcFolder;                    // UTF-8; stored back into currentFolder
  std::vector<std::string> transmitFiles;  // full PC paths, UTF-8
  std::string destinationPath;             // the instrument folder, code page 932 (such as 0:\POPS)
  InstrumentFolderTree* tree = nullptr;    // mirrors the destination as last listed
  // For a whole tree: per file, the folder below destinationPath that it goes into
  // (code page 932, parts joined by '\', listed in `tree` when it exists). Empty:
  // every file goes into destinationPath.
  std::vector<std::string> destinationSubfolders{};
  // Whole instrument paths of folders the job makes, parents first, once every check
  // has passed and before the first file is sent.
  std::vector<std::string> foldersToMake{};
  // Each file is read back after it was sent and compared with the bytes sent; a
  // difference is reported in the outcome's mismatches and the batch goes on.
  bool verify = false;
};

// The whole job; returns after the end message (or after a refusal).
JobOutcome runTransmitJob(const TransmitRequest& request, JobEnvironment& environment);

// One file: announces it, sends its blocks and the end of data. When the instrument
// may hold a half-written file afterwards (a message could not be sent, or the user
// cancelled), `partialFilePending` is set and `partialFilePath` names it.
protocol::LinkResult transmitOneFile(protocol::BulkTransfer& transfer, const std::atomic<std::uint32_t>& continueFlag,
                                     std::string_view instrumentPath, std::span<const std::uint8_t> data,
                                     bool& partialFilePending, std::string& partialFilePath);

// The format number of a Standard MIDI File, or 0xFFFF when the file is not a
// readable SMF (missing, shorter than its 14-byte header, or another header).
std::uint16_t smfFormatOf(const std::filesystem::path& path);

}  // namespace quaverly
