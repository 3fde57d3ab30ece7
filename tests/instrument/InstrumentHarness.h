// Drives a virtual instrument with an in-memory file memory and collects what it
// sends, for the instrument's tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "app/protocol/SysexCatalogue.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/Instrument.h"

namespace quaverly::instrument::testing {

using Bytes = std::vector<std::uint8_t>;

class InstrumentHarness {
 public:
  explicit InstrumentHarness(InstrumentOptions options = fastOptions(),
                             std::unique_ptr<FileMemory> memory = std::make_unique<InMemoryFileMemory>())
      : instrument_(std::move(memory), options, [this](std::span<const std::uint8_t> m) { collect(m); }) {}

  // Instrument-side delays shortened a hundredfold.
  static InstrumentOptions fastOptions() {
    InstrumentOptions o;
    o.timeScale = 0.01;
    return o;
  }

  Instrument& instrument() { return instrument_; }

  // Sends a message and returns everything the instrument answered once it is idle.
  std::vector<Bytes> exchange(const Bytes& message) {
    instrument_.receive(message);
    return drain();
  }

  std::vector<Bytes> drain() {
    EXPECT_TRUE(instrument_.waitUntilIdle(std::chrono::seconds(20))) << "instrument never became idle";
    std::lock_guard lock(mutex_);
    return std::exchange(received_, {});
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

 private:
  void collect(std::span<const std::uint8_t> message) {
    std::lock_guard lock(mutex_);
    received_.emplace_back(message.begin(), message.end());
  }

  std::mutex mutex_;
  std::vector<Bytes> received_;
  Instrument instrument_;  // last: its thread may call collect() as soon as it exists
};

inline bool is(protocol::SysexId id, const Bytes& message) { return protocol::matches(id, message); }

}  // namespace quaverly::instrument::testing
