#include "instrument/InstrumentProtocol.h"

#include <algorithm>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/FileNameRule.h"
#include "app/protocol/wire/ShiftJisText.h"
#include "app/protocol/wire/SysexCatalogue.h"

namespace quaverly::instrument {

using protocol::SysexId;

namespace {

constexpr Milliseconds kNow{0};
constexpr std::string_view kDrive = "0:";
constexpr std::uint8_t kAttributeArchive = 0x20;  // an ordinary file
constexpr std::uint32_t kMax28BitValue = 0x0FFFFFFF;

std::string joinPath(const MemoryPath& path) {
  std::string wire(kDrive);
  for (const std::string& part : path) {
    wire += '\\';
    wire += part;
  }
  return wire;
}

}  // namespace

InstrumentProtocol::InstrumentProtocol(FileMemory& memory, const InstrumentOptions& options, InstrumentHost& host)
    : memory_(memory), options_(options), host_(host), device_(options.deviceNumber & 0x0F) {}

void InstrumentProtocol::handle(std::span<const std::uint8_t> message, bool damaged) {
  if (options_.faults.silent) return;
  const bool forMe = message.size() >= 5 && message[0] == protocol::kSysexStart &&
                     message[1] == protocol::kManufacturerId && message[2] == protocol::kDeviceBase + device_ &&
                     message.back() == protocol::kSysexEnd;
  if (damaged || !forMe) {
    // A message garbled on the wire is a bad block in a reception; anything else that
    // is not addressed to this instrument means nothing to it.
    if (damaged && transfer_ == Transfer::Receiving) failReception();
    return;
  }
  if (transfer_ != Transfer::None) {
    handleTransfer(message);
  } else {
    handleCommand(message);
  }
}

void InstrumentProtocol::handleTransfer(std::span<const std::uint8_t> message) {
  const bool stop = protocol::matches(SysexId::Error, message) || protocol::matches(SysexId::Cancel, message);
  switch (transfer_) {
    case Transfer::AwaitingReady:
      if (protocol::matches(SysexId::Ready, message)) return startStream();
      break;
    case Transfer::Streaming:
      if (protocol::matches(SysexId::Finished, message)) return endTransfer();
      if (protocol::matches(SysexId::Ready, message) || protocol::matches(SysexId::Wait, message)) return;
      break;
    case Transfer::Receiving:
      if (protocol::matches(SysexId::BulkBlock, message)) return onBlock(message);
      if (protocol::matches(SysexId::EndOfData, message)) return onEndOfData();
      break;
    case Transfer::None:
      break;
  }
  // Anything else breaks the transfer off; a command is then served as usual.
  host_.withdraw(transferNumber_);
  endTransfer();
  if (!stop) handleCommand(message);
}

void InstrumentProtocol::handleCommand(std::span<const std::uint8_t> message) {
  if (protocol::matches(SysexId::IdentifyRequest, message)) {
    if (message.size() == 8) reply(protocol::buildIdentifyReply(device_, options_.identifyA, options_.identifyB));
  } else if (protocol::matches(SysexId::RemoteMode, message)) {
    onRemoteMode(message);
  } else if (protocol::matches(SysexId::RemoteCheck, message)) {
    reply(protocol::buildMessage(transferMode_ ? SysexId::RemoteReady : SysexId::RemoteRefused, device_));
  } else if (protocol::matches(SysexId::MakeFolder, message)) {
    onPathCommand(message, &InstrumentProtocol::makeFolder);
  } else if (protocol::matches(SysexId::DeleteFile, message)) {
    onPathCommand(message, &InstrumentProtocol::deleteFile);
  } else if (protocol::matches(SysexId::DeleteFolder, message)) {
    onPathCommand(message, &InstrumentProtocol::deleteFolder);
  } else if (protocol::matches(SysexId::Rename, message)) {
    onRename(message);
  } else if (protocol::matches(SysexId::FindFirst, message)) {
    onFindFirst(message);
  } else if (protocol::matches(SysexId::FindNext, message)) {
    onFindNext();
  } else if (protocol::matches(SysexId::FreeSpaceRequest, message)) {
    onFreeSpace(message);
  } else if (protocol::matches(SysexId::FileRequest, message)) {
    onFileRequest(message);
  } else if (protocol::matches(SysexId::FileHeader, message)) {
    onFileHeader(message);
  }
  // Blocks and handshakes outside a transfer mean nothing here.
}

void InstrumentProtocol::onRemoteMode(std::span<const std::uint8_t> message) {
  if (message.size() != 9 || message[7] > 0x01) return;
  transferMode_ = message[7] == 0x01 && options_.panelAllowsTransfer;
  listing_.clear();
}

void InstrumentProtocol::onPathCommand(std::span<const std::uint8_t> message,
                                       bool (InstrumentProtocol::*command)(const std::string&)) {
  const auto path = protocol::parsePathCommand(message);
  const bool accepted = transferMode_ && path && (this->*command)(*path);
  replyAccepted(accepted, command == &InstrumentProtocol::deleteFile ? options_.faults.deleteDelay : kNow);
}

bool InstrumentProtocol::makeFolder(const std::string& path) {
  const auto r = resolve(path);
  if (!r || r->entry || r->path.empty() || options_.faults.memoryFull) return false;
  return isValidFileName(r->path.back()) && memory_.makeFolder(r->path);
}

bool InstrumentProtocol::deleteFolder(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->entry || !r->entry->folder || r->path.empty()) return false;
  return memory_.removeFolder(r->path);
}

bool InstrumentProtocol::deleteFile(const std::string& path) {
  const auto r = resolve(path);
  if (!r || !r->entry || r->entry->folder || r->entry->readOnly) return false;
  return memory_.removeFile(r->path);
}

void InstrumentProtocol::onRename(std::span<const std::uint8_t> message) {
  const auto fields = protocol::parseRename(message);
  bool accepted = false;
  if (transferMode_ && fields) {
    const auto from = resolve(fields->oldPath);
    const auto to = resolve(fields->newPath);
    const bool sameFolder =
        from && to && !from->path.empty() && !to->path.empty() &&
        MemoryPath(from->path.begin(), from->path.end() - 1) == MemoryPath(to->path.begin(), to->path.end() - 1);
    if (sameFolder && from->entry) {
      // The new name must be free, unless it only changes the case of the old one.
      const bool nameFree = !to->entry || to->path.back() == from->path.back();
      // The name as the PC spelled it: resolving put the stored spelling of an
      // existing entry in its place, which would undo a change of case.
      const std::string newName(protocol::splitInstrumentPath(fields->newPath).back());
      accepted = nameFree && isValidFileName(newName) && memory_.rename(from->path, newName);
    }
  }
  replyAccepted(accepted);
}

void InstrumentProtocol::onFindFirst(std::span<const std::uint8_t> message) {
  listing_.clear();
  listingNext_ = 0;
  const auto request = protocol::parseFindFirst(message);
  const std::optional<std::string> pattern = request ? std::optional(request->pattern) : std::nullopt;
  const std::size_t star = pattern ? protocol::lastSeparator(*pattern) : std::string::npos;
  if (!transferMode_ || !pattern || star == std::string::npos || pattern->substr(star + 1) != "*") {
    return replyAccepted(false);
  }
  const auto folder = resolve(pattern->substr(0, star));
  if (!folder || !folder->entry || !folder->entry->folder) return replyAccepted(false);
  const auto entries = memory_.list(folder->path);
  if (!entries) return replyAccepted(false);

  const std::uint8_t mask = request->attributeMask;
  const bool withFolders = (mask & protocol::kAttributeFolder) != 0;
  const std::string prefix = joinPath(folder->path) + '\\';
  // "." and ".." are folders too: a mask without folders leaves them out as well.
  if (!folder->path.empty() && withFolders) {
    listing_.push_back({protocol::kAttributeFolder, 0, prefix + "."});
    listing_.push_back({protocol::kAttributeFolder, 0, prefix + ".."});
  }
  for (const MemoryEntry& e : *entries) {
    if (e.folder && !withFolders) continue;
    const std::uint8_t attributes =
        e.folder ? protocol::kAttributeFolder
                 : static_cast<std::uint8_t>(kAttributeArchive | (e.readOnly ? protocol::kAttributeReadOnly : 0));
    listing_.push_back({attributes, e.folder ? 0 : e.size, prefix + e.name});
  }
  if (listing_.empty()) return replyAccepted(false);
  const ListedEntry& first = listing_[listingNext_++];
  reply(protocol::buildFindReply(SysexId::FindFirstReply, device_, first.attributes, first.size, first.path));
}

void InstrumentProtocol::onFindNext() {
  if (!transferMode_ || listingNext_ >= listing_.size()) return replyAccepted(false);
  const ListedEntry& entry = listing_[listingNext_++];
  reply(protocol::buildFindReply(SysexId::FindNextReply, device_, entry.attributes, entry.size, entry.path));
}

void InstrumentProtocol::onFreeSpace(std::span<const std::uint8_t> message) {
  if (!transferMode_ || message.size() != 9 || message[7] != 0x00) return replyAccepted(false);
  // The reply carries 28 bits: a larger memory reports the most it can say.
  reply(protocol::buildFreeSpaceReply(device_, std::min(freeBytes(), kMax28BitValue)));
}

void InstrumentProtocol::onFileRequest(std::span<const std::uint8_t> message) {
  if (!transferMode_) return sendHandshake(SysexId::Error);
  const auto path = protocol::parsePathCommand(message);
  const auto r = path ? resolve(*path) : std::nullopt;
  auto data = r && r->entry && !r->entry->folder ? memory_.read(r->path) : std::nullopt;
  if (!data) return replyAccepted(false);
  outgoingFile_ = std::move(*data);
  const auto announced =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(outgoingFile_.size()) + options_.faults.sizeError);
  ++transferNumber_;
  transfer_ = Transfer::AwaitingReady;
  host_.send(protocol::buildFileHeader(device_, announced, *path), kNow, transferNumber_);
  host_.armSilenceTimer(true);
}

void InstrumentProtocol::startStream() {
  const Faults& faults = options_.faults;
  const std::size_t blocks = (outgoingFile_.size() + protocol::kMaxChunkBytes - 1) / protocol::kMaxChunkBytes;
  std::uint8_t payload[protocol::kMaxPayloadBytes];
  for (std::size_t i = 0; i < blocks; ++i) {
    const std::size_t offset = i * protocol::kMaxChunkBytes;
    const std::size_t chunk = std::min(protocol::kMaxChunkBytes, outgoingFile_.size() - offset);
    const std::size_t p = protocol::packChunk(std::span(outgoingFile_).subspan(offset, chunk), payload);
    const std::size_t number = i + 1;
    auto counter = static_cast<std::uint8_t>(i & 0x7F);
    if (number == faults.repeatCounterBlock) counter = static_cast<std::uint8_t>((i + 127) & 0x7F);
    std::uint8_t checksum = protocol::blockChecksum(std::span(payload, p), counter);
    if (number == faults.corruptChecksumBlock) checksum = static_cast<std::uint8_t>((checksum + 1) & 0x7F);
    const Milliseconds at = options_.blockInterval * static_cast<Milliseconds::rep>(i);
    host_.send(protocol::buildBlock(device_, std::span(payload, p), counter, checksum), at, transferNumber_);
    if (number == faults.strayIdentifyAfterBlock) {
      host_.send(protocol::buildIdentifyReply(device_, options_.identifyA, options_.identifyB), at, transferNumber_);
    }
  }
  const Milliseconds end = options_.blockInterval * static_cast<Milliseconds::rep>(blocks);
  host_.send(protocol::buildMessage(SysexId::EndOfData, device_), end, transferNumber_);
  transfer_ = Transfer::Streaming;
  outgoingFile_.clear();
}

void InstrumentProtocol::onFileHeader(std::span<const std::uint8_t> message) {
  const auto header = protocol::parseFileHeader(message);
  if (!transferMode_ || options_.faults.memoryFull || !header) return sendHandshake(SysexId::Error);
  const std::uint32_t size = header->size;
  const auto r = resolve(header->path);
  if (!r || r->path.empty() || !isValidFileName(r->path.back())) return sendHandshake(SysexId::Error);
  std::uint64_t room = freeBytes();
  if (r->entry) {
    if (r->entry->folder || r->entry->readOnly) return sendHandshake(SysexId::Error);
    room += clusterRounded(r->entry->size);
  }
  if (clusterRounded(size) > room || !memory_.create(r->path)) return sendHandshake(SysexId::Error);
  ++transferNumber_;
  transfer_ = Transfer::Receiving;
  incomingPath_ = r->path;
  announcedSize_ = size;
  receivedSize_ = 0;
  blocksSeen_ = 0;
  expectedCounter_ = 0;
  stalled_ = false;
  sendHandshake(SysexId::Ready);
  host_.armSilenceTimer(true);
}

void InstrumentProtocol::onBlock(std::span<const std::uint8_t> message) {
  ++blocksSeen_;
  if (blocksSeen_ == options_.faults.errorAtBlock) return failReception();
  std::uint8_t chunk[protocol::kMaxChunkBytes];
  const protocol::BlockRead block = protocol::readBlock(message, expectedCounter_, chunk);
  const std::uint32_t corrupt = options_.faults.corruptStoredByte;
  if (block.fault == protocol::BlockFault::None && corrupt > receivedSize_ && corrupt - receivedSize_ <= block.bytes) {
    chunk[corrupt - receivedSize_ - 1] ^= 0xFF;
  }
  // A block carries 1 to 210 file bytes: anything else is as bad as a wrong checksum.
  if (block.fault != protocol::BlockFault::None || block.bytes == 0 || receivedSize_ + block.bytes > announcedSize_ ||
      !memory_.append(incomingPath_, std::span(chunk, block.bytes))) {
    return failReception();
  }
  receivedSize_ += static_cast<std::uint32_t>(block.bytes);
  expectedCounter_ = protocol::nextBlockCounter(expectedCounter_);
  if (blocksSeen_ == options_.faults.waitWithoutReadyAtBlock) {
    stalled_ = true;
    sendHandshake(SysexId::Wait);
  } else if (!stalled_ && options_.waitEveryBlocks != 0 && blocksSeen_ % options_.waitEveryBlocks == 0) {
    sendHandshake(SysexId::Wait);
    sendHandshake(SysexId::Ready, options_.waitDuration);
  }
}

void InstrumentProtocol::onEndOfData() {
  if (receivedSize_ != announcedSize_) return failReception();
  if (options_.busyAfterEndOfData.count() > 0) {
    sendHandshake(SysexId::Ready);
    sendHandshake(SysexId::Finished, options_.busyAfterEndOfData);
  } else {
    sendHandshake(SysexId::Finished);
  }
  endTransfer();
}

void InstrumentProtocol::onSilence() {
  host_.withdraw(transferNumber_);
  endTransfer();
}

void InstrumentProtocol::reply(const Bytes& message, Milliseconds delay) { host_.send(message, delay, 0); }

void InstrumentProtocol::replyAccepted(bool accepted, Milliseconds delay) {
  reply(protocol::buildMessage(accepted ? SysexId::CommandAccepted : SysexId::CommandRefused, device_), delay);
}

void InstrumentProtocol::sendHandshake(SysexId id, Milliseconds delay) {
  reply(protocol::buildMessage(id, device_), delay);
}

void InstrumentProtocol::failReception() {
  sendHandshake(SysexId::Error);
  endTransfer();
}

void InstrumentProtocol::endTransfer() {
  // A file being received stays as far as it got, as on the real instrument.
  transfer_ = Transfer::None;
  outgoingFile_.clear();
  host_.armSilenceTimer(false);
}

std::optional<InstrumentProtocol::Resolved> InstrumentProtocol::resolve(std::string_view wirePath) const {
  const auto parts = protocol::splitInstrumentPath(wirePath);
  if (parts.empty() || parts[0] != kDrive) return std::nullopt;
  Resolved r{{}, MemoryEntry{std::string(kDrive), true, false, 0}};
  for (std::size_t i = 1; i < parts.size(); ++i) {
    if (parts[i].empty() || !r.entry || !r.entry->folder) return std::nullopt;
    const auto entries = memory_.list(r.path);
    if (!entries) return std::nullopt;
    const auto it = std::find_if(entries->begin(), entries->end(), [&](const MemoryEntry& e) {
      return protocol::equalsIgnoringAsciiCase(e.name, parts[i]);
    });
    if (it != entries->end()) {
      r.path.push_back(it->name);
      r.entry = *it;
    } else {
      r.path.emplace_back(parts[i]);
      r.entry.reset();
    }
  }
  return r;
}

std::uint32_t InstrumentProtocol::freeBytes() const {
  if (options_.faults.memoryFull) return 0;
  const std::uint64_t used = usedBytes(memory_);
  return used >= options_.capacityBytes ? 0 : static_cast<std::uint32_t>(options_.capacityBytes - used);
}

}  // namespace quaverly::instrument
