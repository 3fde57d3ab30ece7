// A plain, slow transcription of the merge rules, used only to cross-check the engine on
// generated files: a linear scan for the next track, no shortcuts, 64-bit arithmetic.
// It handles only well-formed input (the generator makes no other) and returns nothing
// when it meets anything else.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quaverly::smf::test {

inline std::optional<std::vector<std::uint8_t>> referenceMerge(const std::vector<std::uint8_t>& in) {
  struct T {
    std::size_t pos, end;
    std::uint64_t time;
    int status;
    bool done;
  };
  auto be = [&](std::size_t at, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | in.at(at + i);
    return v;
  };
  auto vlq = [&](std::size_t& pos) {
    std::uint64_t v = 0;
    for (;;) {
      const std::uint8_t b = in.at(pos++);
      v = v << 7 | (b & 0x7F);
      if (!(b & 0x80)) return v;
    }
  };
  auto length = [&](int status, std::size_t pos) -> std::size_t {
    if (status >= 0x80 && status < 0xF0) return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
    std::size_t p = status == 0xFF ? pos + 1 : pos;
    const std::uint64_t n = vlq(p);
    return p - pos + n;
  };

  const int count = static_cast<int>(be(10, 2));
  std::vector<T> tracks;
  std::size_t chunk = 14;
  for (int i = 0; i < count; ++i) {
    const std::size_t start = chunk + 8;
    T t{start, start + be(chunk + 4, 4), 0, -1, false};
    t.time = vlq(t.pos);
    tracks.push_back(t);
    chunk = t.end;
  }
  std::vector<std::uint8_t> out(in.begin(), in.begin() + 14);
  out[9] = 0;
  out[11] = 1;
  const std::vector<std::uint8_t> trackStart{'M', 'T', 'r', 'k', 0, 0, 0, 0};
  out.insert(out.end(), trackStart.begin(), trackStart.end());
  std::uint64_t lastTime = 0;
  int lastStatus = -1;
  for (;;) {
    int chosen = -1;
    for (int i = 0; i < count; ++i)
      if (!tracks[i].done && (chosen < 0 || tracks[i].time < tracks[chosen].time)) chosen = i;
    if (chosen < 0) break;
    T& t = tracks[chosen];
    if (t.status < 0 || t.status >= 0xF0 || (in.at(t.pos) & 0x80)) t.status = in.at(t.pos++);
    const std::size_t n = length(t.status, t.pos);
    if (t.status == 0xFF && in.at(t.pos) == 0x2F && n == 2) {
      t.done = true;
      continue;
    }
    std::uint64_t delta = t.time - lastTime;
    lastTime = t.time;
    std::vector<std::uint8_t> groups;
    do {
      groups.insert(groups.begin(), static_cast<std::uint8_t>(delta & 0x7F) | (groups.empty() ? 0 : 0x80));
      delta >>= 7;
    } while (delta != 0);
    out.insert(out.end(), groups.begin(), groups.end());
    if (lastStatus < 0 || lastStatus >= 0xF0 || lastStatus != t.status) {
      lastStatus = t.status;
      out.push_back(static_cast<std::uint8_t>(t.status));
    }
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(t.pos),
               in.begin() + static_cast<std::ptrdiff_t>(t.pos + n));
    t.pos += n;
    if (t.pos >= t.end) return std::nullopt;
    t.time += vlq(t.pos);
  }
  for (std::uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) out.push_back(b);
  const std::size_t trackLength = out.size() - 22;
  for (int i = 0; i < 4; ++i) out[18 + i] = static_cast<std::uint8_t>(trackLength >> (24 - 8 * i));
  out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(chunk), in.end());
  return out;
}

}  // namespace quaverly::smf::test
