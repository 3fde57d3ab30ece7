// Packing, unpacking and checksums of full 210-byte chunks, as a bulk transfer does
// them for every block.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>

#include "app/protocol/wire/BlockCodec.h"

namespace {

namespace protocol = quaverly::protocol;

std::array<std::uint8_t, protocol::kMaxChunkBytes> sampleChunk() {
  std::array<std::uint8_t, protocol::kMaxChunkBytes> chunk{};
  std::uint32_t x = 0x12345678;
  for (auto& b : chunk) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return chunk;
}

void BM_PackChunk(benchmark::State& state) {
  const auto chunk = sampleChunk();
  std::array<std::uint8_t, protocol::kMaxPayloadBytes> payload{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(protocol::packChunk(chunk, payload));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}
BENCHMARK(BM_PackChunk);

void BM_UnpackPayload(benchmark::State& state) {
  const auto chunk = sampleChunk();
  std::array<std::uint8_t, protocol::kMaxPayloadBytes> payload{};
  const std::size_t packed = protocol::packChunk(chunk, payload);
  std::array<std::uint8_t, protocol::kMaxChunkBytes> back{};
  for (auto _ : state) {
    benchmark::DoNotOptimize(protocol::unpackPayload(std::span(payload.data(), packed), back));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}
BENCHMARK(BM_UnpackPayload);

void BM_BlockChecksum(benchmark::State& state) {
  const auto chunk = sampleChunk();
  std::array<std::uint8_t, protocol::kMaxPayloadBytes> payload{};
  const std::size_t packed = protocol::packChunk(chunk, payload);
  std::uint8_t counter = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(protocol::blockChecksum(std::span(payload.data(), packed), counter));
    counter = protocol::nextBlockCounter(counter);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * packed));
}
BENCHMARK(BM_BlockChecksum);

void BM_BuildBlock(benchmark::State& state) {
  const auto chunk = sampleChunk();
  std::array<std::uint8_t, protocol::kMaxPayloadBytes> payload{};
  const std::size_t packed = protocol::packChunk(chunk, payload);
  const std::span<const std::uint8_t> used(payload.data(), packed);
  for (auto _ : state) {
    const std::uint8_t checksum = protocol::blockChecksum(used, 5);
    benchmark::DoNotOptimize(protocol::buildBlock(0, used, 5, checksum));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk.size()));
}
BENCHMARK(BM_BuildBlock);

}  // namespace
