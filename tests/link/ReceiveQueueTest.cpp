// The queue between the port library's input thread and the requesting thread: how
// pieces become messages, what it drops, and that nothing is written outside a slot.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "app/protocol/ReceiveQueue.h"
#include "tests/link/LinkHarness.h"

namespace quaverly::linktest {
namespace {

using protocol::ReceivedMessage;
using protocol::ReceiveQueue;

void put(ReceiveQueue& q, const Bytes& bytes) { q.receive(bytes); }

std::vector<Bytes> takeAll(ReceiveQueue& q) {
  std::vector<Bytes> messages;
  ReceivedMessage m;
  while (q.take(m)) messages.emplace_back(m.view().begin(), m.view().end());
  return messages;
}

// A message of `size` bytes whose body carries `tag` so that a mixed-up slot shows.
Bytes tagged(std::size_t size, std::uint32_t tag) {
  Bytes m(size, 0);
  m.front() = 0xF0;
  for (std::size_t i = 1; i + 1 < size; ++i) m[i] = static_cast<std::uint8_t>((tag * 31 + i) & 0x7F);
  m.back() = 0xF7;
  return m;
}

const Bytes kReady = {0xF0, 0x43, 0x50, 0x00, 0x03, 0x00, 0xF7};

TEST(ReceiveQueue, RealTimeBytesAreDroppedEvenBetweenThePiecesOfAMessage) {
  ReceiveQueue q;
  put(q, {0xFE});
  put(q, {0xF8});
  EXPECT_TRUE(q.empty());
  put(q, {0xF0, 0x43, 0x50});
  put(q, {0xF8});
  put(q, {0xFE});
  put(q, {0x00, 0x03, 0x00, 0xF7});
  EXPECT_EQ(takeAll(q), std::vector<Bytes>{kReady});
}

TEST(ReceiveQueue, PiecesBecomeOneMessageOfTheCombinedLength) {
  ReceiveQueue q;
  put(q, {0xF0, 0x43, 0x50, 0x00});
  EXPECT_TRUE(q.empty()) << "a message is not readable before its F7";
  put(q, {0x03, 0x00, 0xF7});
  // A one-byte F7 closes the message as well.
  put(q, {0xF0, 0x43, 0x50, 0x00, 0x03, 0x00});
  put(q, {0xF7});
  EXPECT_EQ(takeAll(q), (std::vector<Bytes>{kReady, kReady}));
}

TEST(ReceiveQueue, BytesWithNoMessageBegunAreDropped) {
  ReceiveQueue q;
  put(q, {0x43, 0x50, 0x00, 0x03, 0x00, 0xF7});
  put(q, {0xF7});
  EXPECT_TRUE(q.empty());
  // Nor are they added to a message that was already complete.
  put(q, kReady);
  put(q, {0x01, 0x02, 0xF7});
  put(q, kReady);
  EXPECT_EQ(takeAll(q), (std::vector<Bytes>{kReady, kReady}));
  put(q, {0x01, 0x02, 0xF7});
  EXPECT_TRUE(q.empty());
}

TEST(ReceiveQueue, AMessageCutOffByANewOneIsAbandoned) {
  ReceiveQueue q;
  put(q, {0xF0, 0x43, 0x50, 0x00, 0x01});
  put(q, kReady);
  EXPECT_EQ(takeAll(q), std::vector<Bytes>{kReady});
}

TEST(ReceiveQueue, ResetEmptiesTheQueueAndDropsAHalfReceivedMessage) {
  ReceiveQueue q;
  put(q, kReady);
  put(q, kReady);
  put(q, {0xF0, 0x43, 0x50, 0x00});
  q.reset();
  EXPECT_TRUE(q.empty());
  put(q, {0x03, 0x00, 0xF7});  // the rest of the message cut by the reset
  EXPECT_TRUE(q.empty());
  put(q, kReady);
  EXPECT_EQ(takeAll(q), std::vector<Bytes>{kReady});
}

TEST(ReceiveQueue, AnOverlongMessageKeepsItsFirst255BytesAndIsMarked) {
  for (const bool inPieces : {false, true}) {
    SCOPED_TRACE(inPieces ? "in pieces" : "whole");
    ReceiveQueue q;
    const Bytes longOne = tagged(300, 7);
    if (inPieces) {
      put(q, Bytes(longOne.begin(), longOne.begin() + 200));
      put(q, Bytes(longOne.begin() + 200, longOne.begin() + 260));
      put(q, Bytes(longOne.begin() + 260, longOne.end()));
    } else {
      put(q, longOne);
    }
    const Bytes fits = tagged(255, 8);
    put(q, fits);
    put(q, kReady);

    ReceivedMessage m;
    ASSERT_TRUE(q.take(m));
    EXPECT_TRUE(m.overlong);
    ASSERT_EQ(m.length, 255);
    EXPECT_TRUE(std::equal(longOne.begin(), longOne.begin() + 255, m.bytes.begin()));
    // The next messages are whole and unmarked: the cut-off rest went nowhere.
    ASSERT_TRUE(q.take(m));
    EXPECT_FALSE(m.overlong);
    EXPECT_EQ(Bytes(m.view().begin(), m.view().end()), fits);
    ASSERT_TRUE(q.take(m));
    EXPECT_FALSE(m.overlong);
    EXPECT_EQ(Bytes(m.view().begin(), m.view().end()), kReady);
    EXPECT_FALSE(q.take(m));
  }
}

TEST(ReceiveQueue, AFullQueueDropsNewMessagesAndKeepsTheUnreadOnes) {
  ReceiveQueue q;
  // Move the indices along first, so that the full queue wraps around its end.
  for (std::uint32_t i = 0; i < 60; ++i) put(q, kReady);
  EXPECT_EQ(takeAll(q).size(), 60u);

  constexpr std::uint32_t kOffered = 150;
  for (std::uint32_t i = 0; i < kOffered; ++i) {
    const Bytes m = tagged(251, i);
    if (i % 2 == 0) {
      put(q, m);
    } else {
      put(q, Bytes(m.begin(), m.begin() + 100));
      put(q, Bytes(m.begin() + 100, m.end()));
    }
  }
  const auto kept = takeAll(q);
  ASSERT_EQ(kept.size(), ReceiveQueue::kSlots - 1);
  for (std::uint32_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i], tagged(251, i)) << "message " << i;

  // With room again, messages are taken as before.
  put(q, kReady);
  EXPECT_EQ(takeAll(q), std::vector<Bytes>{kReady});
}

TEST(ReceiveQueue, AWaitingReaderWakesWhenAMessageArrivesAndOtherwiseAtTheDeadline) {
  ReceiveQueue q;
  const auto start = Clock::now();
  q.waitForMessage(start + milliseconds(50));
  EXPECT_GE(Clock::now() - start, milliseconds(50));

  std::thread writer([&] {
    std::this_thread::sleep_for(milliseconds(20));
    q.receive(kReady);
  });
  const auto waitStart = Clock::now();
  q.waitForMessage(waitStart + kWatchdog);
  const auto waited = Clock::now() - waitStart;
  writer.join();
  EXPECT_FALSE(q.empty());
  EXPECT_LT(waited, kWatchdog / 2) << "the reader slept through the arrival";
}

// One thread writes, another reads: every message arrives whole and in order. The
// writer never gets more than a few dozen messages ahead, so none is dropped.
TEST(ReceiveQueue, MessagesCrossBetweenThreadsWhole) {
  ReceiveQueue q;
  constexpr std::uint32_t kCount = 20000;
  std::mutex mutex;
  std::condition_variable progressed;
  std::uint32_t taken = 0;

  std::thread writer([&] {
    for (std::uint32_t i = 0; i < kCount; ++i) {
      {
        std::unique_lock lock(mutex);
        if (!progressed.wait_for(lock, kWatchdog,
                                 [&] { return static_cast<std::int64_t>(i) - static_cast<std::int64_t>(taken) < 50; }))
          return;
      }
      const Bytes m = tagged(20 + i % 230, i);
      const std::size_t cut = m.size() / 3;
      q.receive(std::span(m).first(cut));
      q.receive(std::span(m).subspan(cut));
    }
  });

  std::uint32_t next = 0;
  const auto giveUp = Clock::now() + kWatchdog;
  ReceivedMessage m;
  while (next < kCount && Clock::now() < giveUp) {
    if (!q.take(m)) {
      q.waitForMessage(std::min(giveUp, Clock::now() + milliseconds(100)));
      continue;
    }
    const Bytes expected = tagged(20 + next % 230, next);
    const bool whole = Bytes(m.view().begin(), m.view().end()) == expected;
    EXPECT_TRUE(whole) << "message " << next << " arrived damaged or out of order";
    if (!whole) break;
    ++next;
    {
      std::lock_guard lock(mutex);
      taken = next;
    }
    progressed.notify_one();
  }
  {
    // Lets the writer finish whatever happened here.
    std::lock_guard lock(mutex);
    taken = kCount;
  }
  progressed.notify_one();
  writer.join();
  EXPECT_EQ(next, kCount);
}

}  // namespace
}  // namespace quaverly::linktest
