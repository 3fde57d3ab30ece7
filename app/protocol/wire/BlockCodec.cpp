#include "app/protocol/wire/BlockCodec.h"

#include "app/protocol/wire/SysexCatalogue.h"

#include <algorithm>

namespace quaverly::protocol {

namespace {
constexpr std::size_t kGroupBytes = 7;        // file bytes per group
constexpr std::size_t kPackedGroupBytes = 8;  // header byte + 7 data bytes
// The two 02 bytes that precede the counter are part of the checksummed range.
constexpr unsigned kChecksumBias = 0x02 + 0x02;
}  // namespace

std::size_t packChunk(std::span<const std::uint8_t> chunk, std::span<std::uint8_t> payload) {
  if (payload.size() < packedSize(chunk.size())) return 0;
  std::size_t out = 0;
  for (std::size_t start = 0; start < chunk.size(); start += kGroupBytes) {
    const std::size_t groupSize = std::min(kGroupBytes, chunk.size() - start);
    std::uint8_t header = 0;
    for (std::size_t i = 0; i < groupSize; ++i) {
      const std::uint8_t byte = chunk[start + i];
      header = static_cast<std::uint8_t>(header | ((byte >> 7) << (6 - i)));
      payload[out + 1 + i] = byte & 0x7F;
    }
    payload[out] = header;
    out += 1 + groupSize;
  }
  return out;
}

std::optional<std::size_t> unpackPayload(std::span<const std::uint8_t> payload, std::span<std::uint8_t> chunk) {
  if (chunk.size() < unpackedSize(payload.size())) return std::nullopt;
  std::size_t out = 0;
  for (std::size_t start = 0; start < payload.size(); start += kPackedGroupBytes) {
    const std::size_t groupSize = std::min(kPackedGroupBytes, payload.size() - start);
    const std::uint8_t header = payload[start];
    for (std::size_t i = 0; i + 1 < groupSize; ++i) {
      chunk[out++] = static_cast<std::uint8_t>(payload[start + 1 + i] | ((header << (i + 1)) & 0x80));
    }
  }
  return out;
}

std::uint8_t blockChecksum(std::span<const std::uint8_t> payload, std::uint8_t counter) {
  unsigned sum = counter + kChecksumBias;
  for (std::uint8_t byte : payload) sum += byte;
  return static_cast<std::uint8_t>((128 - (sum & 0x7F)) & 0x7F);
}

std::uint8_t expectedChecksum(std::span<const std::uint8_t> fromFirst02) {
  unsigned sum = 0;
  for (std::uint8_t byte : fromFirst02) sum += byte;
  return static_cast<std::uint8_t>((128 - (sum & 0x7F)) & 0x7F);
}

std::vector<std::uint8_t> buildBlock(std::uint8_t deviceNumber, std::span<const std::uint8_t> payload,
                                     std::uint8_t counter, std::uint8_t checksum) {
  // count runs from the first 02 up to the last payload byte.
  const std::size_t count = payload.size() + 3;
  std::vector<std::uint8_t> block(payload.size() + 11);
  block[0] = kSysexStart;
  block[1] = kManufacturerId;
  block[2] = static_cast<std::uint8_t>(kDeviceBase + (deviceNumber & 0x0F));
  block[3] = 0x01;
  block[4] = static_cast<std::uint8_t>((count >> 7) & 0x7F);
  block[5] = static_cast<std::uint8_t>(count & 0x7F);
  block[6] = 0x02;
  block[7] = 0x02;
  block[8] = static_cast<std::uint8_t>(counter & 0x7F);
  std::copy(payload.begin(), payload.end(), block.begin() + 9);
  block[block.size() - 2] = checksum;
  block[block.size() - 1] = kSysexEnd;
  return block;
}

BlockRead readBlock(std::span<const std::uint8_t> message, std::uint8_t expectedCounter, std::span<std::uint8_t> out) {
  // The byte count covers 02 02 k and the payload; eight bytes stand around them.
  if (message.size() < 6) return {BlockFault::Length};
  const std::size_t count = static_cast<std::size_t>(message[4]) * 128 + (message[5] & 0x7F);
  if (count < 3 || message.size() != count + 8) return {BlockFault::Length};
  if (message[8] != expectedCounter) return {BlockFault::Counter};
  const auto checked = message.subspan(6, count);  // 02 02 k payload
  if (expectedChecksum(checked) != message[message.size() - 2]) return {BlockFault::Checksum};
  const auto payload = checked.subspan(3);
  if (payload.size() > kMaxPayloadBytes) return {BlockFault::TooLarge};
  const std::optional<std::size_t> bytes = unpackPayload(payload, out);
  if (!bytes) return {BlockFault::NoRoom};
  return {BlockFault::None, *bytes};
}

}  // namespace quaverly::protocol
