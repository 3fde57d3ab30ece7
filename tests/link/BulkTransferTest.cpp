// Whole files both ways through the link and the virtual instrument, the shape of the
// blocks on the wire, the instrument's flow control, and every way a reception or a
// transmission can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "app/protocol/wire/BlockCodec.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;

Bytes message(SysexId id, std::uint8_t device = 0) { return buildMessage(id, device); }

// The catalogue name of a message; "?" when it is none of them.
std::string nameOf(const Bytes& m) {
  for (std::size_t i = 0; i < kSysexIdCount; ++i) {
    if (matches(static_cast<SysexId>(i), m)) return std::string(sysexName(static_cast<SysexId>(i)));
  }
  return "?";
}

// The names of the messages other than blocks, in order.
std::vector<std::string> handshakes(const std::vector<Bytes>& messages) {
  std::vector<std::string> names;
  for (const Bytes& m : messages) {
    if (!is(SysexId::BulkBlock, m)) names.push_back(nameOf(m));
  }
  return names;
}

std::vector<Bytes> onlyBlocks(const std::vector<Bytes>& messages) {
  std::vector<Bytes> blocks;
  for (const Bytes& m : messages) {
    if (is(SysexId::BulkBlock, m)) blocks.push_back(m);
  }
  return blocks;
}

std::vector<int> countersOf(const std::vector<Bytes>& blocks) {
  std::vector<int> counters;
  for (const Bytes& b : blocks) counters.push_back(b[8]);
  return counters;
}

// The file bytes the blocks carry.
Bytes unpackBlocks(const std::vector<Bytes>& blocks) {
  Bytes data;
  for (const Bytes& b : blocks) {
    std::uint8_t chunk[kMaxPayloadBytes];
    const auto n = unpackPayload(std::span(b).subspan(9, b.size() - 11), chunk);
    if (n) data.insert(data.end(), chunk, chunk + *n);
  }
  return data;
}

// A block as the instrument builds it.
Bytes blockOf(std::span<const std::uint8_t> chunk, std::uint8_t counter) {
  std::uint8_t payload[kMaxPayloadBytes];
  const std::size_t p = packChunk(chunk, payload);
  return buildBlock(0, std::span(payload, p), counter, blockChecksum(std::span(payload, p), counter));
}

// Where the first event of `kind` that `pick` accepts stands in the log; npos if none.
std::size_t indexOf(const std::vector<PortEvent>& events, PortEvent::Kind kind,
                    const std::function<bool(const Bytes&)>& pick) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind == kind && pick(events[i].bytes)) return i;
  }
  return std::string::npos;
}

auto blockWithCounter(int counter) {
  return [counter](const Bytes& m) { return is(SysexId::BulkBlock, m) && m[8] == counter; };
}
auto isMessage(SysexId id) {
  return [id](const Bytes& m) { return is(id, m); };
}

// ---- whole files of every interesting size ---------------------------------------

class TransferSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TransferSizes, ASentFileIsStoredByteExactFromFullBlocks) {
  const std::size_t size = GetParam();
  LinkHarness h;
  h.enterTransferMode();
  const Bytes data = patternBytes(size, static_cast<std::uint32_t>(size) + 1);
  ASSERT_EQ(h.sendFile("0:\\SONG.MID", data), kLinkSuccess);
  EXPECT_EQ(h.fileContents({"SONG.MID"}), data);
  EXPECT_EQ(h.progress().progressBytes.load(), size);

  // The header and end of data go out for every file, an empty one too.
  const auto sent = h.ports().sent();
  ASSERT_EQ(handshakes(sent), (std::vector<std::string>{"RemoteMode", "FileHeader", "EndOfData"}));
  const Bytes& header = sent[1];
  const std::optional<FileHeaderFields> fields = parseFileHeader(header);
  ASSERT_TRUE(fields);
  EXPECT_EQ(fields->size, size);
  EXPECT_EQ(fields->path, "0:\\SONG.MID");

  // 210 file bytes in every block but the last, which carries the rest; the counters
  // run from 0 and wrap after 127.
  const auto blocks = onlyBlocks(sent);
  const std::size_t expected = (size + kMaxChunkBytes - 1) / kMaxChunkBytes;
  ASSERT_EQ(blocks.size(), expected);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::size_t chunk = std::min(kMaxChunkBytes, size - i * kMaxChunkBytes);
    EXPECT_EQ(blocks[i].size(), packedSize(chunk) + 11) << "block " << i;
    EXPECT_EQ(blocks[i][8], i % 128) << "block " << i;
  }
  EXPECT_EQ(unpackBlocks(blocks), data);
}

TEST_P(TransferSizes, AReceivedFileArrivesByteExactWholeOrInPieces) {
  const std::size_t size = GetParam();
  for (const bool split : {false, true}) {
    SCOPED_TRACE(split ? "every message in two pieces" : "whole messages");
    LinkHarness h;
    h.ports().setSplit(split);
    h.enterTransferMode();
    const Bytes data = patternBytes(size, static_cast<std::uint32_t>(size) + 2);
    h.addFile({"SONG.MID"}, data);
    // Twice: nothing of the first reception carries over into the second.
    for (int round = 0; round < 2; ++round) {
      Bytes received;
      ASSERT_EQ(h.receiveFile("0:\\SONG.MID", received), kLinkSuccess) << "round " << round;
      EXPECT_EQ(received, data);
      EXPECT_EQ(h.progress().progressBytes.load(), size);
    }
    EXPECT_EQ(handshakes(h.ports().sent()), (std::vector<std::string>{"RemoteMode", "FileRequest", "Ready", "Finished",
                                                                      "FileRequest", "Ready", "Finished"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Link, TransferSizes, ::testing::Values(0, 1, 209, 210, 211, 420, 421, 30 * 1024),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                           return "Bytes" + std::to_string(param.param);
                         });

// ---- the reception fails ------------------------------------------------------------

class ReceptionFaults : public ::testing::Test {
 protected:
  static constexpr std::size_t kFileBytes = 1000;  // five blocks

  // Receives a five-block file from an instrument with `faults`.
  LinkResult receive(instrument::Faults faults) {
    auto options = LinkHarness::fastOptions();
    options.faults = faults;
    h.emplace(options);
    h->enterTransferMode();
    h->addFile({"A.MID"}, patternBytes(kFileBytes));
    Bytes data;
    return h->receiveFile("0:\\A.MID", data);
  }

  // The reception was answered with Error, and never with Finished.
  void expectEndedWithError() {
    const auto names = handshakes(h->ports().sent());
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back(), "Error");
    EXPECT_EQ(std::count(names.begin(), names.end(), "Finished"), 0);
  }

  std::optional<LinkHarness> h;
};

TEST_F(ReceptionFaults, AStrayMessageFromTheInstrumentFailsIt) {
  instrument::Faults faults;
  faults.strayIdentifyAfterBlock = 2;
  EXPECT_EQ(receive(faults), kLinkRefused);
  expectEndedWithError();
}

TEST_F(ReceptionFaults, AnyStrayMessageBetweenBlocksFailsIt) {
  Bytes tooLong = blockOf(patternBytes(200), 1);
  tooLong.pop_back();
  tooLong.resize(299, 0x11);
  tooLong.push_back(0xF7);
  for (const Bytes& stray :
       {message(SysexId::Wait), message(SysexId::CommandAccepted), buildFreeSpaceReply(0, 4096), tooLong}) {
    SCOPED_TRACE(nameOf(stray) + " of " + std::to_string(stray.size()) + " bytes");
    h.reset();
    h.emplace();
    h->enterTransferMode();
    h->addFile({"A.MID"}, patternBytes(kFileBytes));
    h->ports().injectAfter(isMessage(SysexId::BulkBlock), stray);
    Bytes data;
    EXPECT_EQ(h->receiveFile("0:\\A.MID", data), kLinkRefused);
    expectEndedWithError();
  }
}

TEST_F(ReceptionFaults, ARepeatedCounterFailsIt) {
  instrument::Faults faults;
  faults.repeatCounterBlock = 3;
  EXPECT_EQ(receive(faults), kLinkRefused);
  expectEndedWithError();
}

TEST_F(ReceptionFaults, ABadChecksumFailsIt) {
  instrument::Faults faults;
  faults.corruptChecksumBlock = 2;
  EXPECT_EQ(receive(faults), kLinkRefused);
  expectEndedWithError();
}

TEST_F(ReceptionFaults, AFirstBlockWithCounterOneFailsAtOnce) {
  FakePortLibrary ports;
  const Bytes data = patternBytes(420);
  ports.setReceiver([&](const Bytes& m) {
    if (!is(SysexId::Ready, m)) return;
    ports.deliver(blockOf(std::span(data).first(210), 1));
    ports.deliver(blockOf(std::span(data).subspan(210), 2));
    ports.deliver(message(SysexId::EndOfData));
  });
  TransferProgress progress;
  BulkTransfer bulk(Link::instance(), progress, {});
  Bytes buffer(data.size());
  EXPECT_EQ(bulk.receiveBlocks(buffer), kLinkRefused);
  EXPECT_EQ(Link::instance().state().receivedBytes, 0u);
  EXPECT_EQ(handshakes(ports.sent()), (std::vector<std::string>{"Ready", "Error"}));
}

TEST_F(ReceptionFaults, MoreDataThanTheBufferHoldsFailsItWithoutWritingPastIt) {
  auto options = LinkHarness::fastOptions();
  options.faults.sizeError = -1;
  h.emplace(options);
  h->enterTransferMode();
  const Bytes data = patternBytes(420);
  h->addFile({"A.MID"}, data);

  TransferProgress progress;
  BulkTransfer bulk(h->link(), progress, {});
  std::uint32_t size = 0;
  ASSERT_EQ(bulk.requestFile("0:\\A.MID", size), kLinkSuccess);
  ASSERT_EQ(size, 419u);
  Bytes storage(size + 64, 0xEE);
  EXPECT_EQ(bulk.receiveBlocks(std::span(storage).first(size)), kLinkRefused);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 210, storage.begin())) << "the first block fitted";
  EXPECT_TRUE(std::all_of(storage.begin() + size, storage.end(), [](std::uint8_t b) { return b == 0xEE; }))
      << "bytes past the buffer were written";
  expectEndedWithError();
}

TEST_F(ReceptionFaults, TheAnnouncedSizeComesBackBeforeAnythingIsStarted) {
  auto options = LinkHarness::fastOptions();
  options.faults.sizeError = 1;
  h.emplace(options);
  h->enterTransferMode();
  h->addFile({"A.MID"}, patternBytes(kFileBytes));
  std::vector<DirectoryEntry> listing;
  ASSERT_EQ(h->listFolder("0:", listing), kLinkRefused);
  ASSERT_EQ(listing.size(), 1u);

  TransferProgress progress;
  BulkTransfer bulk(h->link(), progress, {});
  std::uint32_t size = 0;
  ASSERT_EQ(bulk.requestFile("0:\\A.MID", size), kLinkSuccess);
  // The caller sees the difference from the listing and stops here: the request
  // itself started nothing.
  EXPECT_EQ(size, listing[0].size + 1);
  const auto names = handshakes(h->ports().sent());
  EXPECT_EQ(names.back(), "FileRequest");
  EXPECT_EQ(std::count(names.begin(), names.end(), "Ready"), 0);
}

TEST_F(ReceptionFaults, ACancelEndsItWithError) {
  h.emplace();
  h->enterTransferMode();
  h->addFile({"A.MID"}, patternBytes(kFileBytes));
  TransferProgress progress;
  BulkTransfer bulk(h->link(), progress, {});
  std::uint32_t size = 0;
  ASSERT_EQ(bulk.requestFile("0:\\A.MID", size), kLinkSuccess);
  progress.continueFlag.store(0);
  Bytes buffer(size);
  EXPECT_EQ(bulk.receiveBlocks(buffer), kLinkRefused);
  expectEndedWithError();
}

// ---- sending, against a scripted instrument -----------------------------------------

// The port library with a script for the instrument, and the engine on the link.
struct Scripted {
  FakePortLibrary ports;
  TransferProgress progress;
  BulkTransfer bulk{Link::instance(), progress, LinkHarness::unpaced()};
};

class ScriptedSending : public ::testing::Test, protected Scripted {};

TEST_F(ScriptedSending, WaitHoldsTheBlocksAndReadyResumesWithTheNextOne) {
  ports.setReceiver([&](const Bytes& m) {
    if (blockWithCounter(1)(m)) {
      ports.deliver(message(SysexId::Wait));
      ports.deliverLater(message(SysexId::Ready), milliseconds(150));
    }
  });
  const Bytes data = patternBytes(5 * 210);
  ASSERT_EQ(bulk.sendBlocks(data), kLinkSuccess);

  const auto blocks = onlyBlocks(ports.sent());
  EXPECT_EQ(countersOf(blocks), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(unpackBlocks(blocks), data);
  const auto events = ports.events();
  const std::size_t wait = indexOf(events, PortEvent::Kind::Delivered, isMessage(SysexId::Wait));
  const std::size_t ready = indexOf(events, PortEvent::Kind::Delivered, isMessage(SysexId::Ready));
  const std::size_t third = indexOf(events, PortEvent::Kind::Sent, blockWithCounter(2));
  ASSERT_NE(ready, std::string::npos);
  EXPECT_LT(wait, ready);
  EXPECT_GT(third, ready) << "a block went out while the instrument waited";
}

TEST(ScriptedSendingAnswers, ErrorOrCancelFromTheInstrumentStopsTheBlocks) {
  for (const SysexId answer : {SysexId::Error, SysexId::Cancel}) {
    SCOPED_TRACE(std::string(sysexName(answer)));
    Scripted s;
    s.ports.setReceiver([&](const Bytes& m) {
      if (blockWithCounter(1)(m)) s.ports.deliver(message(answer));
    });
    EXPECT_EQ(s.bulk.sendBlocks(patternBytes(5 * 210)), kLinkRefused);
    EXPECT_EQ(countersOf(onlyBlocks(s.ports.sent())), (std::vector<int>{0, 1}));
  }
}

TEST_F(ScriptedSending, CancelByTheUserStopsBeforeTheNextBlock) {
  ports.setReceiver([&](const Bytes& m) {
    if (blockWithCounter(1)(m)) progress.continueFlag.store(0);
  });
  EXPECT_EQ(bulk.sendBlocks(patternBytes(5 * 210)), kLinkRefused);
  EXPECT_EQ(countersOf(onlyBlocks(ports.sent())), (std::vector<int>{0, 1}));
}

TEST(ScriptedSendingAnswers, TheHeaderIsEndedByReadyErrorOrCancelOnly) {
  struct Case {
    std::vector<SysexId> answers;
    LinkResult result;
  };
  const Case cases[] = {
      {{SysexId::Wait, SysexId::Finished, SysexId::EndOfData, SysexId::CommandAccepted, SysexId::Ready}, kLinkSuccess},
      {{SysexId::Wait, SysexId::Error}, kLinkRefused},
      {{SysexId::Cancel}, kLinkRefused},
  };
  for (const Case& c : cases) {
    Scripted s;
    s.ports.setReceiver([&](const Bytes& m) {
      if (!is(SysexId::FileHeader, m)) return;
      for (SysexId id : c.answers) s.ports.deliver(message(id));
    });
    EXPECT_EQ(s.bulk.sendHeader(100, "0:\\A.MID"), c.result) << "answer ending with " << sysexName(c.answers.back());
  }
}

TEST(ScriptedSendingAnswers, EndOfDataWaitsThroughWaitsAndReadyForTheFinalAnswer) {
  struct Case {
    std::vector<SysexId> answers;  // at once
    SysexId last;                  // a little later
    LinkResult result;
  };
  const Case cases[] = {
      {{SysexId::Wait, SysexId::Wait, SysexId::Wait, SysexId::Ready}, SysexId::Finished, kLinkSuccess},
      {{SysexId::Ready, SysexId::Wait, SysexId::Ready}, SysexId::Finished, kLinkSuccess},
      {{SysexId::Wait, SysexId::Ready}, SysexId::Error, kLinkRefused},
      {{SysexId::Ready}, SysexId::Cancel, kLinkRefused},
  };
  for (const Case& c : cases) {
    Scripted s;
    s.ports.setReceiver([&](const Bytes& m) {
      if (!is(SysexId::EndOfData, m)) return;
      for (SysexId id : c.answers) s.ports.deliver(message(id));
      s.ports.deliverLater(message(c.last), milliseconds(50));
    });
    EXPECT_EQ(s.bulk.sendEndOfData(), c.result) << "final answer " << sysexName(c.last);
  }
}

// ---- sending to the instrument ---------------------------------------------------------

TEST(InstrumentSending, TheInstrumentsFlowControlKeepsTheFileIntact) {
  auto options = LinkHarness::fastOptions();
  options.timeScale = 1.0;
  options.sessionTimeout = std::chrono::hours(1);
  options.waitEveryBlocks = 2;
  options.waitDuration = milliseconds(300);
  LinkHarness h(options);
  h.enterTransferMode();
  const Bytes data = patternBytes(6 * 210 - 5);
  ASSERT_EQ(h.sendFile("0:\\FLOW.MID", data, {256, 30}), kLinkSuccess);
  EXPECT_EQ(h.fileContents({"FLOW.MID"}), data);
  EXPECT_EQ(countersOf(onlyBlocks(h.ports().sent())), (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(InstrumentSending, ARefusedHeaderSendsNoBlock) {
  auto options = LinkHarness::fastOptions();
  options.faults.memoryFull = true;
  LinkHarness h(options);
  h.enterTransferMode();
  EXPECT_EQ(h.sendFile("0:\\FULL.MID", patternBytes(500)), kLinkRefused);
  EXPECT_TRUE(onlyBlocks(h.ports().sent()).empty());
}

TEST(InstrumentSending, AnErrorFromTheInstrumentFailsTheFile) {
  auto options = LinkHarness::fastOptions();
  options.faults.errorAtBlock = 2;
  LinkHarness h(options);
  h.enterTransferMode();
  EXPECT_EQ(h.sendFile("0:\\BAD.MID", patternBytes(5 * 210)), kLinkRefused);
}

TEST(InstrumentSending, AnInstrumentStillBusyAfterEndOfDataFinishesLater) {
  auto options = LinkHarness::fastOptions();
  options.timeScale = 1.0;
  options.busyAfterEndOfData = milliseconds(300);
  LinkHarness h(options);
  h.enterTransferMode();
  const Bytes data = patternBytes(700);
  ASSERT_EQ(h.sendFile("0:\\BUSY.MID", data), kLinkSuccess);
  EXPECT_EQ(h.fileContents({"BUSY.MID"}), data);
  const auto events = h.ports().events();
  EXPECT_NE(indexOf(events, PortEvent::Kind::Delivered, isMessage(SysexId::Ready)), std::string::npos);
}

}  // namespace
}  // namespace quaverly::linktest
