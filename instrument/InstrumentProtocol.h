// What the virtual instrument does with each message from the PC: identity and
// transfer mode, the file commands, directory listings and both directions of a
// file transfer. It runs on the instrument's thread and reaches the outside only
// through its host.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/FileMemory.h"
#include "instrument/InstrumentOptions.h"

namespace quaverly::instrument {

class InstrumentHost {
 public:
  using Bytes = std::vector<std::uint8_t>;
  // Queues a message to go out `delay` from now (and never before one queued earlier).
  // Messages of a transfer carry its number so that they can be withdrawn.
  virtual void send(Bytes message, Milliseconds delay, std::uint64_t transfer) = 0;
  virtual void withdraw(std::uint64_t transfer) = 0;
  // While armed, silence of the PC for the session time-out ends the transfer.
  virtual void armSilenceTimer(bool armed) = 0;

 protected:
  ~InstrumentHost() = default;
};

class InstrumentProtocol {
 public:
  InstrumentProtocol(FileMemory& memory, const InstrumentOptions& options, InstrumentHost& host);

  // `damaged`: bytes of the message were lost on the wire.
  void handle(std::span<const std::uint8_t> message, bool damaged);
  void onSilence();
  bool inTransferMode() const { return transferMode_; }

 private:
  using Bytes = std::vector<std::uint8_t>;
  enum class Transfer { None, AwaitingReady, Streaming, Receiving };

  struct Resolved {
    MemoryPath path;                   // stored names
    std::optional<MemoryEntry> entry;  // the entry, when it exists
  };
  struct ListedEntry {
    std::uint8_t attributes;
    std::uint32_t size;
    std::string path;
  };

  void handleCommand(std::span<const std::uint8_t> message);
  void handleTransfer(std::span<const std::uint8_t> message);

  void onRemoteMode(std::span<const std::uint8_t> message);
  void onPathCommand(std::span<const std::uint8_t> message, bool (InstrumentProtocol::*command)(const std::string&));
  bool makeFolder(const std::string& path);
  bool deleteFolder(const std::string& path);
  bool deleteFile(const std::string& path);
  void onRename(std::span<const std::uint8_t> message);
  void onFindFirst(std::span<const std::uint8_t> message);
  void onFindNext();
  void onFreeSpace(std::span<const std::uint8_t> message);
  void onFileRequest(std::span<const std::uint8_t> message);
  void onFileHeader(std::span<const std::uint8_t> message);
  void startStream();
  void onBlock(std::span<const std::uint8_t> message);
  void onEndOfData();

  void reply(const Bytes& message, Milliseconds delay = Milliseconds{0});
  void replyAccepted(bool accepted, Milliseconds delay = Milliseconds{0});
  void sendHandshake(protocol::SysexId id, Milliseconds delay = Milliseconds{0});
  void endTransfer();
  void failReception();

  // Resolves a wire path ("0:\A\B") without regard to ASCII case. Nothing when the path
  // is malformed or a folder on the way is missing; the last entry may be missing.
  std::optional<Resolved> resolve(std::string_view wirePath) const;
  std::uint32_t freeBytes() const;

  FileMemory& memory_;
  const InstrumentOptions& options_;
  InstrumentHost& host_;
  const std::uint8_t device_;

  bool transferMode_ = false;
  std::vector<ListedEntry> listing_;
  std::size_t listingNext_ = 0;

  Transfer transfer_ = Transfer::None;
  std::uint64_t transferNumber_ = 0;
  Bytes outgoingFile_;
  MemoryPath incomingPath_;
  std::uint32_t announcedSize_ = 0;
  std::uint32_t receivedSize_ = 0;
  std::uint32_t blocksSeen_ = 0;
  std::uint8_t expectedCounter_ = 0;
  bool stalled_ = false;  // sent Wait and will never send Ready
};

}  // namespace quaverly::instrument
