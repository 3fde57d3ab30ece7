// Runs the SMF merge on arbitrary bytes. Besides the sanitizers' checks it asserts what
// must hold for every input: a known status, no output after a refusal, and on success a
// format 0 file with one track that ends in one end-of-track event, no larger than the
// capacity rule allows, which merges again into itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/smf/SmfMerger.h"

namespace {

using quaverly::smf::CSmfMerger;

// An invariant that does not hold stops the run with its text, which libFuzzer reports
// together with the input that broke it.
#define check(condition) \
  ((condition) ? void(0) \
               : (std::fprintf(stderr, "invariant failed: %s (line %d)\n", #condition, __LINE__), std::abort()))

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// True when no channel message of the input, read the way the merge reads it, carries a
// data byte with bit 7 set. The merge copies such bytes as they are; once an event's
// status byte is left out for running status, a second reading takes its first data byte
// for a status byte. Only files without them must merge into themselves.
bool channelDataIsClean(const std::uint8_t* p, std::size_t size) {
  const int tracks = (p[10] << 8) | p[11];
  std::size_t chunk = 14;
  for (int t = 0; t < tracks; ++t) {
    const std::size_t end = chunk + 8 + be32(p + chunk + 4);
    std::size_t pos = chunk + 8;
    int status = 0xFF;
    if (end > size) return false;
    while (pos < end) {
      while (pos < end && (p[pos] & 0x80)) ++pos;  // delta time
      if (++pos >= end) return false;
      if (status >= 0xF0 || (p[pos] & 0x80)) status = p[pos++];
      if (pos >= end) return false;
      if (status < 0xF0) {
        const std::size_t length = (status & 0xE0) == 0xC0 ? 1 : 2;
        if (end - pos < length) return false;
        for (std::size_t i = 0; i < length; ++i)
          if (p[pos + i] & 0x80) return false;
        pos += length;
        continue;
      }
      std::size_t q = status == 0xFF ? pos + 1 : pos;
      if (status == 0xFF && p[pos] == 0x2F && q < end && p[q] == 0x00) break;  // end of track
      std::uint64_t value = 0;
      while (q < end && (p[q] & 0x80)) value = (value << 7 | (p[q++] & 0x7F)) & 0xFFFFFFFF;
      if (q >= end) return false;
      value = (value << 7 | p[q++]) & 0xFFFFFFFF;
      if (end - q < value) return false;
      pos = q + value;
    }
    chunk = end;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  CSmfMerger merger;
  const bool ok = merger.merge(data, static_cast<std::uint32_t>(size));
  const std::int32_t status = merger.status();
  check(status == CSmfMerger::kSuccess || status == CSmfMerger::kNoMemory || status == CSmfMerger::kMalformed ||
        status == CSmfMerger::kNotFormat1);
  check(ok == (status == CSmfMerger::kSuccess));
  const auto out = merger.output();
  check(out.size() == merger.outputSize());
  if (!ok) {
    check(out.empty());
    return 0;
  }

  // Every event that used running status is at least two bytes long.
  check(out.size() <= size + size / 2);
  check(out.size() >= 26);
  check(std::memcmp(out.data(), "MThd\0\0\0\6\0\0\0\1", 12) == 0);
  check(std::memcmp(out.data() + 12, data + 12, 2) == 0);
  check(std::memcmp(out.data() + 14, "MTrk", 4) == 0);
  const std::size_t trackEnd = 22 + std::size_t{be32(out.data() + 18)};
  check(trackEnd <= out.size());
  check(std::memcmp(out.data() + trackEnd - 4, "\0\xFF\x2F\0", 4) == 0);
  // Whatever followed the declared tracks comes last, unchanged.
  const std::size_t tail = out.size() - trackEnd;
  check(tail <= size && std::memcmp(out.data() + trackEnd, data + size - tail, tail) == 0);

  // Declared as format 1 again, the merged file must come out as it is.
  if (channelDataIsClean(data, size)) {
    std::vector<std::uint8_t> again(out.begin(), out.end());
    again[9] = 0x01;
    CSmfMerger second;
    check(second.merge(again.data(), static_cast<std::uint32_t>(again.size())));
    const auto twice = second.output();
    check(twice.size() == out.size() && std::memcmp(twice.data(), out.data(), out.size()) == 0);
  }
  return 0;
}
