// Assembles Standard MIDI File bytes for tests: header and chunks around hand-written
// event bytes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace quaverly::smf::test {

using Bytes = std::vector<std::uint8_t>;

inline void appendBe(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// "MThd", header length, format, track count, division.
inline Bytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division = 480,
                    std::uint32_t headerLength = 6) {
  Bytes out{'M', 'T', 'h', 'd'};
  appendBe(out, headerLength, 4);
  appendBe(out, format, 2);
  appendBe(out, tracks, 2);
  appendBe(out, division, 2);
  for (std::uint32_t i = 6; i < headerLength && i < 64; ++i) out.push_back(0);
  return out;
}

inline Bytes chunk(std::string_view type, const Bytes& body) {
  Bytes out(type.begin(), type.end());
  appendBe(out, static_cast<std::uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes track(const Bytes& events) { return chunk("MTrk", events); }

// A format 1 file (division 480) whose header declares as many tracks as are given.
inline Bytes format1(std::initializer_list<Bytes> trackEvents) {
  Bytes out = header(1, static_cast<std::uint16_t>(trackEvents.size()));
  for (const Bytes& events : trackEvents) {
    const Bytes t = track(events);
    out.insert(out.end(), t.begin(), t.end());
  }
  return out;
}

}  // namespace quaverly::smf::test
