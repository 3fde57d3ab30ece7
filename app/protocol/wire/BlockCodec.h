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

// Why a received bulk data block was refused.
enum class BlockFault : std::uint8_t {
  None,
  Length,    // the byte count does not match the message's length
  Counter,   // not the block counter expected next
  Checksum,  // the checksum does not add up
  TooLarge,  // a payload longer than a block of 210 file bytes packs into
  NoRoom,    // the file bytes do not fit into what is left of the buffer
};

struct BlockRead {
  BlockFault fault = BlockFault::None;
  std::size_t bytes = 0;  // file bytes written into the buffer
};

// Checks a received BulkBlock message (F0 43 5n 01 ch cl 02 02 k payload x F7): its
// byte count against its length, its counter against `expectedCounter`, its
// checksum and its payload size, then unpacks the file bytes into `out`. Nothing is
// written unless every check passes.
BlockRead readBlock(std::span<const std::uint8_t> message, std::uint8_t expectedCounter, std::span<std::uint8_t> out);

// The counter of the block after `counter`: 0 follows 127.
constexpr std::uint8_t nextBlockCounter(std::uint8_t counter) {
  return static_cast<std::uint8_t>((counter + 1) & 0x7F);
}

}  // namespace quaverly::protocol
