#include "app/protocol/wire/BlockCodec.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

namespace quaverly::protocol {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pack(const Bytes& chunk) {
  Bytes payload(packedSize(chunk.size()));
  EXPECT_EQ(packChunk(chunk, payload), payload.size());
  return payload;
}

TEST(BlockCodec, PacksSingleHighByteIntoHeaderAndData) {
  EXPECT_EQ(pack({0xFF}), (Bytes{0x40, 0x7F}));
  EXPECT_EQ(pack({0x80, 0x01, 0xFF}), (Bytes{0x50, 0x00, 0x01, 0x7F}));
}

TEST(BlockCodec, EightByteChunkMakesAFullGroupAndAGroupOfTwo) {
  const Bytes chunk = {0x80, 0x81, 0x02, 0x03, 0x04, 0x05, 0x86, 0xC7};
  EXPECT_EQ(pack(chunk), (Bytes{0x61, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x40, 0x47}));
}

TEST(BlockCodec, SmallestSingleByteBlockMatchesKnownBytes) {
  const Bytes payload = pack({0xFF});
  const std::uint8_t checksum = blockChecksum(payload, 0);
  EXPECT_EQ(checksum, 0x3D);
  EXPECT_EQ(buildBlock(0, payload, 0, checksum),
            (Bytes{0xF0, 0x43, 0x50, 0x01, 0x00, 0x05, 0x02, 0x02, 0x00, 0x40, 0x7F, 0x3D, 0xF7}));
}

TEST(BlockCodec, FullChunkMakesA251ByteBlockWithCount243) {
  Bytes chunk(kMaxChunkBytes);
  std::iota(chunk.begin(), chunk.end(), std::uint8_t{0x50});
  const Bytes payload = pack(chunk);
  ASSERT_EQ(payload.size(), kMaxPayloadBytes);
  const Bytes block = buildBlock(3, payload, 127, blockChecksum(payload, 127));
  ASSERT_EQ(block.size(), 251u);
  EXPECT_EQ(block[2], 0x53);
  EXPECT_EQ(block[4], 0x01);
  EXPECT_EQ(block[5], 0x73);
  EXPECT_EQ(block[8], 127);
  EXPECT_EQ(block.back(), 0xF7);
}

TEST(BlockCodec, ChecksumZeroesTheLowBitsOfTheBlockSum) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    Bytes chunk(1 + rng() % kMaxChunkBytes);
    for (auto& b : chunk) b = static_cast<std::uint8_t>(rng());
    const std::uint8_t counter = static_cast<std::uint8_t>(rng() & 0x7F);
    const Bytes payload = pack(chunk);
    const Bytes block = buildBlock(0, payload, counter, blockChecksum(payload, counter));
    // Every byte of a SysEx body must be 7-bit.
    for (std::size_t i = 1; i + 1 < block.size(); ++i) ASSERT_LT(block[i], 0x80) << i;
    const std::span<const std::uint8_t> checked(block.begin() + 6, block.end() - 1);
    unsigned sum = 0;
    for (auto b : checked) sum += b;
    EXPECT_EQ(sum % 128, 0u);
    // The receiver's check over the bytes before the checksum agrees.
    EXPECT_EQ(expectedChecksum(checked.first(checked.size() - 1)), block[block.size() - 2]);
  }
}

TEST(BlockCodec, ChecksumIsZeroWhenTheSumIsAlreadyAMultipleOf128) {
  // 4 + counter 0x7C = 128.
  EXPECT_EQ(blockChecksum({}, 0x7C), 0);
}

TEST(BlockCodec, RoundTripsEveryChunkLength) {
  std::mt19937 rng(42);
  for (std::size_t n = 1; n <= kMaxChunkBytes; ++n) {
    Bytes chunk(n);
    for (auto& b : chunk) b = static_cast<std::uint8_t>(rng());
    const Bytes payload = pack(chunk);
    ASSERT_EQ(payload.size(), n + (n + 6) / 7);
    Bytes back(n);
    const auto written = unpackPayload(payload, back);
    ASSERT_TRUE(written.has_value());
    ASSERT_EQ(*written, n);
    ASSERT_EQ(back, chunk) << "length " << n;
  }
}

TEST(BlockCodec, UnpackRefusesAnOutputThatIsTooSmall) {
  const Bytes payload = pack(Bytes(20, 0xAA));
  Bytes small(19, 0x00);
  EXPECT_FALSE(unpackPayload(payload, small).has_value());
  EXPECT_EQ(small, Bytes(19, 0x00));  // untouched
}

TEST(BlockCodec, UnpackOfALoneHeaderByteYieldsNothing) {
  Bytes out(4, 0x11);
  EXPECT_EQ(unpackPayload(Bytes{0x7F}, out), 0u);
  // Nine bytes: one full group of seven, and a header on its own.
  const Bytes nine = {0x00, 1, 2, 3, 4, 5, 6, 7, 0x40};
  Bytes seven(unpackedSize(nine.size()));
  EXPECT_EQ(seven.size(), 7u);
  EXPECT_EQ(unpackPayload(nine, seven), 7u);
}

TEST(BlockCodec, PackRefusesAPayloadBufferThatIsTooSmall) {
  Bytes payload(7, 0x00);
  EXPECT_EQ(packChunk(Bytes(7, 0xFF), payload), 0u);
  EXPECT_EQ(payload, Bytes(7, 0x00));
}

// A received block is refused for the first fault it has, and nothing is written then.
TEST(BlockCodec, ReadBlockGivesTheFileBytesOrTheFault) {
  const Bytes file = {1, 2, 3, 0x80, 0xFF, 6, 7, 8};
  std::uint8_t payload[kMaxPayloadBytes];
  const std::size_t p = packChunk(file, payload);
  const Bytes good = buildBlock(0, std::span(payload, p), 5, blockChecksum(std::span(payload, p), 5));
  struct Case {
    const char* what;
    Bytes message;
    std::uint8_t counter;
    std::size_t room;
    BlockFault fault;
  };
  Bytes shortened = good;
  shortened.erase(shortened.begin() + 10);
  Bytes badSum = good;
  badSum[badSum.size() - 2] ^= 0x01;
  Bytes tooLarge(kMaxPayloadBytes + 1, 0x00);
  const Bytes large = buildBlock(0, tooLarge, 0, blockChecksum(tooLarge, 0));
  const Case cases[] = {
      {"a good block", good, 5, 64, BlockFault::None},
      {"a byte missing", shortened, 5, 64, BlockFault::Length},
      {"only the header", Bytes(good.begin(), good.begin() + 6), 5, 64, BlockFault::Length},
      {"another counter", good, 6, 64, BlockFault::Counter},
      {"a wrong checksum", badSum, 5, 64, BlockFault::Checksum},
      {"a payload past 240 bytes", large, 0, 1024, BlockFault::TooLarge},
      {"no room left", good, 5, file.size() - 1, BlockFault::NoRoom},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(c.room, 0xEE);
    const BlockRead read = readBlock(c.message, c.counter, out);
    EXPECT_EQ(read.fault, c.fault);
    if (c.fault == BlockFault::None) {
      EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(read.bytes)), file);
    } else {
      EXPECT_EQ(out, Bytes(c.room, 0xEE));
    }
  }
}

TEST(BlockCodec, CounterWrapsAfter127) {
  EXPECT_EQ(nextBlockCounter(126), 127);
  EXPECT_EQ(nextBlockCounter(127), 0);
}

}  // namespace
}  // namespace quaverly::protocol
