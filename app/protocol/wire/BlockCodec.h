// Packing of file bytes into the 7-bit payload of a bulk data block, the block
// checksum and the assembly of a complete block message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quaverly::protocol {

// Largest number of file bytes one block carries, and its packed size.
inline constexpr std::size_t kMaxChunkBytes = 210;
inline constexpr std::size_t kMaxPayloadBytes = 240;

// Every 7 file bytes gain one header byte holding their top bits.
constexpr std::size_t packedSize(std::size_t chunkBytes) { return chunkBytes + (chunkBytes + 6) / 7; }

// Each group of up to 8 payload bytes yields one byte fewer.
constexpr std::size_t unpackedSize(std::size_t payloadBytes) { return payloadBytes - (payloadBytes + 7) / 8; }

// Packs `chunk` into `payload` and returns the number of payload bytes written.
// Writes nothing and returns 0 when `payload` is smaller than packedSize(chunk.size()).
std::size_t packChunk(std::span<const std::uint8_t> chunk, std::span<std::uint8_t> payload);

// Unpacks `payload` into `chunk` and returns the number of file bytes written.
// Returns nothing, and writes nothing, when they would not fit into `chunk`.
std::optional<std::size_t> unpackPayload(std::span<const std::uint8_t> payload, std::span<std::uint8_t> chunk);

// The checksum byte (0..127) that makes the seven low bits of 02 + 02 + counter +
// payload + checksum zero.
std::uint8_t blockChecksum(std::span<const std::uint8_t> payload, std::uint8_t counter);

// The checksum a receiver expects for the bytes of a block from its first 02 up to
// the last payload byte (02 02 counter payload...).
std::uint8_t expectedChecksum(std::span<const std::uint8_t> fromFirst02);

// The complete bulk data block message: F0 43 5n 01 ch cl 02 02 k payload x F7.
std::vector<std::uint8_t> buildBlock(std::uint8_t deviceNumber, std::span<const std::uint8_t> payload,
                                     std::uint8_t counter, std::uint8_t checksum);

// The counter of the block after `counter`: 0 follows 127.
constexpr std::uint8_t nextBlockCounter(std::uint8_t counter) { return static_cast<std::uint8_t>((counter + 1) & 0x7F); }

}  // namespace quaverly::protocol
