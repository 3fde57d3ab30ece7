// Drives a virtual instrument with an in-memory file memory and collects what it
// sends, for the instrument's tests. Also holds the PC's side of a file transfer,
// built from the catalogue and the block codec, so that tests can move files both
// ways and check every block.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/Instrument.h"

namespace quaverly::instrument::testing {

using Bytes = std::vector<std::uint8_t>;

// The longest any test waits for the instrument. Far beyond what a loaded machine
// needs, so that it only ends a test that would otherwise hang.
inline constexpr std::chrono::milliseconds kWatchdog{20000};

class InstrumentHarness {
 public:
  explicit InstrumentHarness(InstrumentOptions options = fastOptions(),
                             std::unique_ptr<FileMemory> memory = std::make_unique<InMemoryFileMemory>())
      : instrument_(std::move(memory), options, [this](std::span<const std::uint8_t> m) { collect(m); }) {}

  // Instrument-side delays shortened a hundredfold. The silence that ends a transfer
  // is left far longer than any pause a busy machine may put between two messages of
  // a test; the tests of that time-out set their own.
  static InstrumentOptions fastOptions() {
    InstrumentOptions o;
    o.timeScale = 0.01;
    o.sessionTimeout = std::chrono::hours(1);
    return o;
  }

  Instrument& instrument() { return instrument_; }

  void send(const Bytes& message) { instrument_.receive(message); }

  // Sends a message and returns everything the instrument answered once it is idle.
  std::vector<Bytes> exchange(const Bytes& message) {
    instrument_.receive(message);
    return drain();
  }

  std::vector<Bytes> drain() {
    EXPECT_TRUE(instrument_.waitUntilIdle(kWatchdog)) << "instrument never became idle";
    return take();
  }

  // What arrived so far, without waiting.
  std::vector<Bytes> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(received_, {});
  }

  // Waits until at least `count` messages have arrived and not been taken.
  bool waitForMessages(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, kWatchdog, [&] { return received_.size() >= count; });
  }

  // The single answer to a message.
  Bytes ask(const Bytes& message) {
    const auto replies = exchange(message);
    EXPECT_EQ(replies.size(), 1u);
    return replies.empty() ? Bytes{} : replies.front();
  }

  void enterTransferMode(std::uint8_t device = 0) { instrument_.receive(protocol::buildRemoteMode(device, true)); }

  void addFile(const MemoryPath& path, const Bytes& data, bool readOnly = false) {
    instrument_.withMemory([&](FileMemory& m) {
      ASSERT_TRUE(m.create(path));
      ASSERT_TRUE(m.append(path, data));
      if (readOnly) {
        ASSERT_TRUE(m.setReadOnly(path, true));
      }
    });
  }

  void addFolder(const MemoryPath& path) {
    instrument_.withMemory([&](FileMemory& m) { ASSERT_TRUE(m.makeFolder(path)); });
  }

  std::optional<Bytes> fileContents(const MemoryPath& path) {
    std::optional<Bytes> data;
    instrument_.withMemory([&](FileMemory& m) { data = m.read(path); });
    return data;
  }

  // The stored names of a folder's entries in storage order.
  std::vector<std::string> names(const MemoryPath& folder = {}) {
    std::vector<std::string> result;
    instrument_.withMemory([&](FileMemory& m) {
      if (const auto entries = m.list(folder)) {
        for (const MemoryEntry& e : *entries) result.push_back(e.name);
      }
    });
    return result;
  }

  std::optional<MemoryEntry> entry(const MemoryPath& path) {
    std::optional<MemoryEntry> found;
    if (path.empty()) return found;
    instrument_.withMemory([&](FileMemory& m) {
      if (const auto entries = m.list(MemoryPath(path.begin(), path.end() - 1))) {
        for (const MemoryEntry& e : *entries) {
          if (e.name == path.back()) found = e;
        }
      }
    });
    return found;
  }

 private:
  void collect(std::span<const std::uint8_t> message) {
    {
      std::lock_guard lock(mutex_);
      received_.emplace_back(message.begin(), message.end());
    }
    arrived_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Bytes> received_;
  Instrument instrument_;  // last: its thread may call collect() as soon as it exists
};

inline bool is(protocol::SysexId id, const Bytes& message) { return protocol::matches(id, message); }

inline Bytes message(protocol::SysexId id, std::uint8_t device = 0) { return protocol::buildMessage(id, device); }

// Bytes that differ from block to block and use the top bit, so that a misplaced,
// lost or unpacked-wrongly byte shows.
inline Bytes patternBytes(std::size_t size, std::uint32_t seed = 1) {
  Bytes data(size);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 23);
  }
  return data;
}

// A directory reply's entry path and size; empty and 0 when it is none.
inline std::string replyPath(const Bytes& reply) {
  const auto entry = protocol::parseFindReply(reply);
  return entry ? entry->path : std::string();
}

inline std::uint32_t entrySize(const Bytes& reply) {
  const auto entry = protocol::parseFindReply(reply);
  return entry ? entry->size : 0;
}

// The 28-bit number of a FreeSpaceReply or of the FileHeader that answers a
// FileRequest (they stand at the same place); 0 when there is none.
inline std::uint32_t replyNumber(const Bytes& reply) { return protocol::parseFileHeaderReply(reply).value_or(0); }

// --- The PC's side of a transfer ---

// One block as the PC builds it: the chunk packed, the checksum over counter and payload.
inline Bytes blockFor(std::span<const std::uint8_t> chunk, std::uint8_t counter, std::uint8_t device = 0) {
  Bytes payload(protocol::packedSize(chunk.size()));
  payload.resize(protocol::packChunk(chunk, payload));
  return protocol::buildBlock(device, payload, counter, protocol::blockChecksum(payload, counter));
}

// The blocks of a whole file: 210-byte chunks, counters from 0 modulo 128.
inline std::vector<Bytes> blocksFor(std::span<const std::uint8_t> data, std::uint8_t device = 0) {
  std::vector<Bytes> blocks;
  std::uint8_t counter = 0;
  for (std::size_t offset = 0; offset < data.size(); offset += protocol::kMaxChunkBytes) {
    const std::size_t n = std::min(protocol::kMaxChunkBytes, data.size() - offset);
    blocks.push_back(blockFor(data.subspan(offset, n), counter, device));
    counter = protocol::nextBlockCounter(counter);
  }
  return blocks;
}

// What the PC makes of the messages the instrument streams after Ready: every block
// checked for length, counter and checksum as the PC checks them, the data unpacked.
struct ReceivedStream {
  Bytes data;
  std::size_t blocks = 0;
  bool endOfData = false;  // EndOfData came, as the last message
  std::string fault;       // the first thing the PC would reject; empty when none
};

inline ReceivedStream decodeStream(const std::vector<Bytes>& messages) {
  ReceivedStream s;
  std::uint8_t expected = 0;
  for (std::size_t i = 0; i < messages.size() && s.fault.empty(); ++i) {
    const Bytes& m = messages[i];
    const std::string where = "message " + std::to_string(i);
    if (s.endOfData) {
      s.fault = where + " after EndOfData";
    } else if (is(protocol::SysexId::EndOfData, m)) {
      s.endOfData = true;
    } else if (!is(protocol::SysexId::BulkBlock, m)) {
      s.fault = where + " is not a block";
    } else {
      const std::size_t count = m[4] * 128u + (m[5] & 0x7Fu);
      if (m.size() != count + 8 || count < 3) {
        s.fault = where + " has a wrong length";
      } else if (m[8] != expected) {
        s.fault = where + " has counter " + std::to_string(m[8]) + ", expected " + std::to_string(expected);
      } else if (protocol::expectedChecksum(std::span(m).subspan(6, count)) != m[m.size() - 2]) {
        s.fault = where + " has a bad checksum";
      } else {
        std::uint8_t chunk[protocol::kMaxPayloadBytes];
        const auto n = protocol::unpackPayload(std::span(m).subspan(9, count - 3), chunk);
        if (!n) {
          s.fault = where + " does not unpack";
        } else {
          s.data.insert(s.data.end(), chunk, chunk + *n);
          ++s.blocks;
          expected = protocol::nextBlockCounter(expected);
        }
      }
    }
  }
  return s;
}

// Asks for a file, checks the FileHeader reply, starts the stream with Ready, takes
// all of it and answers Finished. `announced` receives the size of the reply.
inline ReceivedStream fetchFile(InstrumentHarness& h, std::string_view path, std::uint32_t* announced = nullptr) {
  const Bytes header = h.ask(protocol::buildPathCommand(protocol::SysexId::FileRequest, 0, path));
  EXPECT_TRUE(is(protocol::SysexId::FileHeader, header)) << "no FileHeader reply for " << path;
  if (!is(protocol::SysexId::FileHeader, header) || header.size() < 12) return {};
  if (announced) *announced = replyNumber(header);
  ReceivedStream s = decodeStream(h.exchange(message(protocol::SysexId::Ready)));
  EXPECT_TRUE(h.exchange(message(protocol::SysexId::Finished)).empty());
  return s;
}

// Sends a file as the PC does: FileHeader, which must be answered with Ready, then the
// blocks, each of which must pass without an answer, then EndOfData. Returns the
// answers to EndOfData.
inline std::vector<Bytes> storeFile(InstrumentHarness& h, std::string_view path, const Bytes& data) {
  const Bytes ready = h.ask(protocol::buildFileHeader(0, static_cast<std::uint32_t>(data.size()), path));
  EXPECT_TRUE(is(protocol::SysexId::Ready, ready)) << "FileHeader for " << path << " not answered with Ready";
  if (!is(protocol::SysexId::Ready, ready)) return {};
  std::size_t number = 0;
  for (const Bytes& block : blocksFor(data)) {
    ++number;
    const auto answers = h.exchange(block);
    EXPECT_TRUE(answers.empty()) << "block " << number << " was answered";
    if (!answers.empty()) return answers;
  }
  return h.exchange(message(protocol::SysexId::EndOfData));
}

}  // namespace quaverly::instrument::testing
