#include "app/smf/SmfMerger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "tests/app/smf/ReferenceMerge.h"
#include "tests/app/smf/SmfBytes.h"

namespace quaverly::smf {
namespace {

using test::Bytes;
using test::concat;
using test::format1;
using test::header;
using test::track;

// Header of every converted file below: format 0, one track, division 480.
const Bytes kOutHeader{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0};

struct Result {
  std::int32_t status;
  Bytes output;
};

Result runMerge(const Bytes& input) {
  CSmfMerger merger;
  const bool ok = merger.merge(input.data(), static_cast<std::uint32_t>(input.size()));
  const auto out = merger.output();
  EXPECT_EQ(ok, merger.status() == CSmfMerger::kSuccess);
  EXPECT_EQ(merger.outputSize(), out.size());
  if (!ok) {
    EXPECT_EQ(merger.outputSize(), 0u) << "a failed merge leaves no output";
  }
  return {merger.status(), Bytes(out.begin(), out.end())};
}

std::int32_t statusOf(const Bytes& input) { return runMerge(input).status; }

// ---------------------------------------------------------------------------------------
// Byte-exact output

TEST(SmfMergeOutput, OneTrackChangesOnlyHeaderRunningStatusAndEnd) {
  const Bytes input = format1({{
      0x00, 0xFF, 0x03, 0x04, 'L',  'e', 'a', 'd',  // track name
      0x00, 0x90, 0x3C, 0x64,                       //
      0x60, 0x90, 0x3C, 0x00,                       // same status spelled out again
      0x80, 0x00, 0x40, 0x64,                       // a two-byte delta of 0, running status
      0x81, 0x40, 0x80, 0x3C, 0x00,                 // delta 192
      0x83, 0x60, 0xFF, 0x2F, 0x00,                 // end of track 480 ticks later
  }});
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x1B,  //
                                              0x00, 0xFF, 0x03, 0x04, 0x4C, 0x65, 0x61, 0x64,  //
                                              0x00, 0x90, 0x3C, 0x64,                          //
                                              0x60, 0x3C, 0x00,                                //
                                              0x00, 0x40, 0x64,                                //
                                              0x81, 0x40, 0x80, 0x3C, 0x00,                    //
                                              0x00, 0xFF, 0x2F, 0x00}});
  const Result r = runMerge(input);
  EXPECT_EQ(r.status, CSmfMerger::kSuccess);
  EXPECT_EQ(r.output, expected);
}

TEST(SmfMergeOutput, OutputMayFillTheWholeCapacity) {
  // Nothing to gain or lose: the output is exactly as long as the input.
  const Bytes input = format1({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  const Bytes expected = concat(
      {kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x08, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, EqualTimesGoTrackByTrackInChunkOrder) {
  const Bytes input = format1({
      {0x00, 0x90, 0x3C, 0x64, 0x00, 0x90, 0x40, 0x64, 0x0A, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
      {0x00, 0x91, 0x30, 0x64, 0x00, 0x91, 0x34, 0x64, 0x0A, 0x81, 0x30, 0x00, 0x00, 0xFF, 0x2F, 0x00},
      {0x0A, 0xC2, 0x05, 0x00, 0xFF, 0x2F, 0x00},
  });
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x1D,  //
                                              0x00, 0x90, 0x3C, 0x64,                          // track 0 at 0
                                              0x00, 0x40, 0x64,                                //
                                              0x00, 0x91, 0x30, 0x64,                          // track 1 at 0
                                              0x00, 0x34, 0x64,                                //
                                              0x0A, 0x80, 0x3C, 0x00,                          // track 0 at 10
                                              0x00, 0x81, 0x30, 0x00,                          // track 1 at 10
                                              0x00, 0xC2, 0x05,                                // track 2 at 10
                                              0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, RunningStatusCarriesAcrossTracks) {
  const Bytes input = format1({
      {0x00, 0x90, 0x3C, 0x64, 0x0A, 0x90, 0x3E, 0x64, 0x00, 0xFF, 0x2F, 0x00},
      {0x05, 0x90, 0x40, 0x64, 0x00, 0xFF, 0x2F, 0x00},
  });
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0E,  //
                                              0x00, 0x90, 0x3C, 0x64,                          //
                                              0x05, 0x40, 0x64,                                //
                                              0x05, 0x3E, 0x64,                                //
                                              0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, StatusByteReturnsWhereTracksAlternate) {
  // Each track uses running status on input; interleaved, every event needs its own.
  const Bytes input = format1({
      {0x00, 0x90, 0x3C, 0x64, 0x0A, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
      {0x05, 0x91, 0x30, 0x64, 0x0A, 0x30, 0x00, 0x00, 0xFF, 0x2F, 0x00},
  });
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x14,  //
                                              0x00, 0x90, 0x3C, 0x64,                          //
                                              0x05, 0x91, 0x30, 0x64,                          //
                                              0x05, 0x90, 0x3C, 0x00,                          //
                                              0x05, 0x91, 0x30, 0x00,                          //
                                              0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, ChannelEventAfterMetaOrSysExKeepsItsStatus) {
  const Bytes input = format1({
      {0x00, 0x90, 0x3C, 0x64, 0x0A, 0x90, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
      {0x05, 0xFF, 0x06, 0x01, 0x41,                    // marker "A" between the notes
       0x0A, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,  // SysEx at 15
       0x00, 0x90, 0x3E, 0x64,                          //
       0x00, 0xF7, 0x02, 0x01, 0x02,                    // SysEx continuation
       0x00, 0x90, 0x3E, 0x00,                          //
       0x00, 0xFF, 0x2F, 0x00},
  });
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x26,  //
                                              0x00, 0x90, 0x3C, 0x64,                          //
                                              0x05, 0xFF, 0x06, 0x01, 0x41,                    //
                                              0x05, 0x90, 0x3C, 0x00,  // status again after meta
                                              0x05, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,  //
                                              0x00, 0x90, 0x3E, 0x64,                          // and after SysEx
                                              0x00, 0xF7, 0x02, 0x01, 0x02,                    //
                                              0x00, 0x90, 0x3E, 0x00,                          //
                                              0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, TimeBetweenLastEventAndEndOfTrackIsLost) {
  const Bytes input = format1({
      {0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x00, 0x83, 0x60, 0xFF, 0x2F, 0x00},
      {0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00},
  });
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x10,  //
                                              0x00, 0x90, 0x3C, 0x64,                          //
                                              0x00, 0xC0, 0x05,                                //
                                              0x83, 0x60, 0x80, 0x3C, 0x00,                    //
                                              0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, BytesAfterTheDeclaredTracksAreCopiedOutsideTheTrack) {
  const Bytes input = concat({
      header(1, 2),
      track({0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}),
      track({0x00, 0x91, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}),
      track({0x00, 0xFF, 0x2F, 0x00}),
      {'X', 'F', 'I', 'H', 0x00, 0x00, 0x00, 0x02, 0xAB, 0xCD, 0xEE},
  });
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0C,  //
                                              0x00, 0x90, 0x3C, 0x64,                          //
                                              0x00, 0x91, 0x3C, 0x64,                          //
                                              0x00, 0xFF, 0x2F, 0x00,                          //
                                              0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x04,  // third chunk
                                              0x00, 0xFF, 0x2F, 0x00,                          //
                                              0x58, 0x46, 0x49, 0x48, 0x00, 0x00, 0x00, 0x02, 0xAB, 0xCD, 0xEE}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, LongerEndOfTrackMetaIsCopiedAndTrackGoesOn) {
  const Bytes input = format1({{0x00, 0xFF, 0x2F, 0x01, 0x00, 0x0A, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  const Bytes expected = concat({kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x0D,  //
                                              0x00, 0xFF, 0x2F, 0x01, 0x00,                    //
                                              0x0A, 0x90, 0x3C, 0x64,                          //
                                              0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);
}

TEST(SmfMergeOutput, EventsAfterEndOfTrackAreIgnoredButMustParse) {
  const Bytes input = format1({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00, 0x00, 0x90, 0x40, 0x64}});
  const Bytes expected = concat(
      {kOutHeader, {0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x08, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  EXPECT_EQ(runMerge(input).output, expected);

  // The same track with a broken event after its end is refused.
  EXPECT_EQ(statusOf(format1({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00, 0x00, 0xF4}})), CSmfMerger::kMalformed);
}

TEST(SmfMergeOutput, LongDeltasAndLargeTimesAreWrittenExactly) {
  // The largest four-byte delta, then a time just below the end mark.
  Bytes events{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64};
  for (int i = 0; i < 15; ++i) events.insert(events.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x3C, 0x00});
  // 16 x 0x0FFFFFFF = 0xFFFFFFF0; 14 more reach 0xFFFFFFFE, the last time allowed.
  events.insert(events.end(), {0x0E, 0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  const Result r = runMerge(format1({events}));
  ASSERT_EQ(r.status, CSmfMerger::kSuccess);
  const Bytes body(r.output.begin() + 22, r.output.end());
  Bytes expected{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64};
  for (int i = 0; i < 15; ++i) expected.insert(expected.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x3C, 0x00});
  expected.insert(expected.end(), {0x0E, 0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  EXPECT_EQ(body, expected);
}

// ---------------------------------------------------------------------------------------
// Refusals

TEST(SmfMergeRefusal, FormatOtherThanOneIsStatus6) {
  const Bytes events{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(statusOf(concat({header(0, 1), track(events)})), CSmfMerger::kNotFormat1);
  EXPECT_EQ(statusOf(concat({header(2, 1), track(events)})), CSmfMerger::kNotFormat1);
  EXPECT_EQ(statusOf(concat({header(0x0101, 1), track(events)})), CSmfMerger::kNotFormat1);
  // The format decides before the track count is looked at.
  EXPECT_EQ(statusOf(header(0, 0)), CSmfMerger::kNotFormat1);
}

TEST(SmfMergeRefusal, BadHeaderIsStatus5) {
  const Bytes events{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(statusOf(concat({header(1, 1, 480, 8), track(events)})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(concat({header(0, 1, 480, 8), track(events)})), CSmfMerger::kMalformed)
      << "header length is checked before the format";
  EXPECT_EQ(statusOf(concat({header(1, 0), track(events)})), CSmfMerger::kMalformed);
  Bytes many = header(1, 65);
  for (int i = 0; i < 65; ++i) many = concat({many, track(events)});
  EXPECT_EQ(statusOf(many), CSmfMerger::kMalformed);
  Bytes notMidi = concat({header(1, 1), track(events)});
  notMidi[0] = 'R';
  EXPECT_EQ(statusOf(notMidi), CSmfMerger::kMalformed);
  const Bytes shortHeader = header(1, 1);
  EXPECT_EQ(statusOf(Bytes(shortHeader.begin(), shortHeader.begin() + 13)), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf({}), CSmfMerger::kMalformed);

  CSmfMerger merger;
  EXPECT_FALSE(merger.merge(nullptr, 100));
  EXPECT_EQ(merger.status(), CSmfMerger::kMalformed);
}

TEST(SmfMergeRefusal, SixtyFourTracksAreAccepted) {
  Bytes input = header(1, 64);
  for (int i = 0; i < 64; ++i)
    input =
        concat({input, track({0x00, static_cast<std::uint8_t>(0x90 | (i & 15)), 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00})});
  EXPECT_EQ(statusOf(input), CSmfMerger::kSuccess);
}

TEST(SmfMergeRefusal, BadChunksAreStatus5) {
  const Bytes events{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00};
  // Another chunk type where a track is due is not skipped.
  EXPECT_EQ(statusOf(concat({header(1, 1), test::chunk("XFIH", {1, 2}), track(events)})), CSmfMerger::kMalformed);
  // Fewer chunks than declared.
  EXPECT_EQ(statusOf(concat({header(1, 2), track(events)})), CSmfMerger::kMalformed);
  // A length reaching past the end, including one that would wrap a 32-bit offset.
  for (std::uint32_t length : {9u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    Bytes input = concat({header(1, 1), track(events)});
    for (int i = 0; i < 4; ++i) input[18 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    EXPECT_EQ(statusOf(input), CSmfMerger::kMalformed) << length;
  }
}

TEST(SmfMergeRefusal, EmptyTrackOrMissingEndOfTrackIsStatus5) {
  const Bytes good{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(statusOf(format1({good, {}})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({good, {0x00, 0x90, 0x3C, 0x64}})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({good, {0x00, 0xFF, 0x2F, 0x01, 0x00}})), CSmfMerger::kMalformed);
}

TEST(SmfMergeRefusal, BadEventsAreStatus5) {
  const Bytes end{0x00, 0xFF, 0x2F, 0x00};
  // No running status yet.
  EXPECT_EQ(statusOf(format1({concat({{0x00, 0x3C, 0x64}, end})})), CSmfMerger::kMalformed);
  // Status bytes that no event in a file may carry.
  for (int status : {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE})
    EXPECT_EQ(statusOf(format1({concat({{0x00, static_cast<std::uint8_t>(status), 0x00}, end})})),
              CSmfMerger::kMalformed)
        << status;
  // Running status does not reach past SysEx or meta events.
  EXPECT_EQ(statusOf(format1({concat({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xF0, 0x01, 0xF7, 0x00, 0x3C, 0x00}, end})})),
            CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({concat({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x00}, end})})),
            CSmfMerger::kMalformed);
  // Events and delta times that run past the track's end.
  EXPECT_EQ(statusOf(format1({{0x00, 0x90, 0x3C}})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({concat({end, {0x00, 0xF0, 0x05, 0x01}})})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({concat({end, {0x00, 0xFF, 0x01, 0x81}})})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({concat({end, {0x00, 0xFF}})})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({concat({end, {0x81}})})), CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({concat({end, {0x00}})})), CSmfMerger::kMalformed);
}

TEST(SmfMergeRefusal, FiveByteDeltaIsStatus5) {
  const Bytes end{0x00, 0xFF, 0x2F, 0x00};
  EXPECT_EQ(statusOf(format1({concat({{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64}, end})})),
            CSmfMerger::kMalformed);
  EXPECT_EQ(statusOf(format1({{0x00, 0x90, 0x3C, 0x64, 0x81, 0x80, 0x80, 0x80, 0x00, 0xFF, 0x2F, 0x00}})),
            CSmfMerger::kMalformed);
  // A long length field of SysEx or meta data is no delta: it is copied as it is.
  const Result r = runMerge(format1({concat({{0x00, 0xF0, 0x80, 0x80, 0x80, 0x80, 0x01, 0xF7}, end})}));
  ASSERT_EQ(r.status, CSmfMerger::kSuccess);
  EXPECT_EQ(Bytes(r.output.begin() + 22, r.output.end()),
            (Bytes{0x00, 0xF0, 0x80, 0x80, 0x80, 0x80, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00}));
}

TEST(SmfMergeRefusal, TrackTimeReachingTheEndMarkIsStatus5) {
  // 16 x 0x0FFFFFFF = 0xFFFFFFF0; adding 15 reaches 0xFFFFFFFF, adding 16 wraps.
  for (std::uint8_t last : {0x0F, 0x10, 0x7F}) {
    Bytes events{0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64};
    for (int i = 0; i < 15; ++i) events.insert(events.end(), {0xFF, 0xFF, 0xFF, 0x7F, 0x3C, 0x00});
    events.insert(events.end(), {last, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(statusOf(format1({events})), CSmfMerger::kMalformed) << int(last);
  }
}

TEST(SmfMergeRefusal, EveryTruncationIsRefusedWithoutHarm) {
  const Bytes full = format1({
      {0x00, 0xFF, 0x03, 0x01, 'A',  0x00, 0xF0, 0x03, 0x43, 0x10, 0xF7, 0x00,
       0x90, 0x3C, 0x64, 0x81, 0x00, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
      {0x00, 0xC1, 0x05, 0x60, 0xB1, 0x07, 0x64, 0x10, 0x0A, 0x40, 0x00, 0xFF, 0x2F, 0x00},
  });
  ASSERT_EQ(statusOf(full), CSmfMerger::kSuccess);
  for (std::size_t length = 0; length < full.size(); ++length) {
    // Cut as it is, and cut with the last track's length shortened to match, so that
    // the damage lies inside the events.
    Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(statusOf(cut), CSmfMerger::kMalformed) << length;
    const std::size_t secondTrack = 14 + 8 + 23;
    if (length > secondTrack + 8) {
      const std::uint32_t trackLength = static_cast<std::uint32_t>(length - secondTrack - 8);
      for (int i = 0; i < 4; ++i) cut[secondTrack + 4 + i] = static_cast<std::uint8_t>(trackLength >> (24 - 8 * i));
      EXPECT_EQ(statusOf(cut), CSmfMerger::kMalformed) << length;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Cross-check against the plain transcription on generated files

Bytes randomTrack(std::mt19937& rng, bool trailingAfterEnd, int maxEvents = 40) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  Bytes out;
  auto delta = [&] {
    const int kind = pick(10);
    std::uint32_t d = kind < 5 ? 0 : kind < 8 ? static_cast<std::uint32_t>(pick(4)) : rng() % 20000;
    Bytes groups{static_cast<std::uint8_t>(d & 0x7F)};
    while (d >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (d & 0x7F)));
    out.insert(out.end(), groups.begin(), groups.end());
  };
  int running = 0;
  const int events = 1 + pick(maxEvents);
  for (int i = 0; i < events; ++i) {
    delta();
    const int kind = pick(12);
    if (kind < 8) {
      static constexpr std::uint8_t kinds[] = {0x80, 0x90, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
      const std::uint8_t status = static_cast<std::uint8_t>(kinds[pick(8)] | pick(3));
      if (status != running || pick(3) == 0) out.push_back(status);
      running = status;
      out.push_back(static_cast<std::uint8_t>(pick(128)));
      if ((status & 0xE0) != 0xC0) out.push_back(static_cast<std::uint8_t>(pick(128)));
    } else if (kind < 10) {
      const int length = kind == 8 ? pick(3) : 1 + pick(2);  // never FF 2F 00 here
      out.insert(out.end(),
                 {0xFF, static_cast<std::uint8_t>(kind == 8 ? 0x01 : 0x2F), static_cast<std::uint8_t>(length)});
      for (int b = 0; b < length; ++b) out.push_back(static_cast<std::uint8_t>(pick(128)));
      running = 0;
    } else {
      out.insert(out.end(), {static_cast<std::uint8_t>(kind == 10 ? 0xF0 : 0xF7), 0x02, 0x7E, 0xF7});
      running = 0;
    }
  }
  delta();
  out.insert(out.end(), {0xFF, 0x2F, 0x00});
  if (trailingAfterEnd) out.insert(out.end(), {0x00, 0x90, 0x3C, 0x64, 0x10, 0xFF, 0x2F, 0x00});
  return out;
}

TEST(SmfMergeReference, GeneratedFilesMatchThePlainTranscription) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 400; ++round) {
    const int tracks = round < 64 ? round + 1 : 1 + static_cast<int>(rng() % 64);
    Bytes input = header(1, static_cast<std::uint16_t>(tracks));
    for (int t = 0; t < tracks; ++t) input = concat({input, track(randomTrack(rng, rng() % 8 == 0))});
    if (rng() % 5 == 0) input = concat({input, track({0x00, 0xFF, 0x2F, 0x00})});
    const auto expected = test::referenceMerge(input);
    ASSERT_TRUE(expected.has_value()) << "generator made a file the transcription rejects, round " << round;
    const Result r = runMerge(input);
    ASSERT_EQ(r.status, CSmfMerger::kSuccess) << "round " << round;
    ASSERT_EQ(r.output, *expected) << "round " << round << ", " << tracks << " tracks";
  }
}

TEST(SmfMergeReference, LargeFileMatchesThePlainTranscription) {
  // Large enough for the buffers that come straight from the system.
  std::mt19937 rng(7);
  Bytes input = header(1, 64);
  for (int t = 0; t < 64; ++t) {
    const Bytes chunk = track(randomTrack(rng, false, 12000));
    input.insert(input.end(), chunk.begin(), chunk.end());
  }
  ASSERT_GT(input.size(), 1024u * 1024u);
  const auto expected = test::referenceMerge(input);
  ASSERT_TRUE(expected.has_value());
  const Result r = runMerge(input);
  ASSERT_EQ(r.status, CSmfMerger::kSuccess);
  EXPECT_TRUE(r.output == *expected);
}

// ---------------------------------------------------------------------------------------
// The worker, cancel and the output hand-over

// Many tracks of many events, enough to keep the merge busy for a while.
Bytes largeFile(int tracks, int eventsPerTrack) {
  Bytes input = header(1, static_cast<std::uint16_t>(tracks));
  for (int t = 0; t < tracks; ++t) {
    Bytes events{0x00, static_cast<std::uint8_t>(0x90 | (t & 15)), 0x3C, 0x64};
    for (int i = 0; i < eventsPerTrack; ++i) events.insert(events.end(), {0x01, 0x3C, 0x00});
    events.insert(events.end(), {0x00, 0xFF, 0x2F, 0x00});
    const Bytes chunk = track(events);
    input.insert(input.end(), chunk.begin(), chunk.end());
  }
  return input;
}

TEST(SmfMergeWorker, StartMergesOnAWorkerAndHandsTheOutputOver) {
  const Bytes input = format1({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  CSmfMerger merger;
  merger.start(1, input.data(), static_cast<std::uint32_t>(input.size()));
  ASSERT_TRUE(merger.waitFor(std::chrono::seconds(60)));
  EXPECT_FALSE(merger.running());
  EXPECT_EQ(merger.status(), CSmfMerger::kSuccess);
  EXPECT_EQ(merger.outputSize(), 30u);

  MergedFile file = merger.takeOutput();
  EXPECT_EQ(file.size, 30u);
  EXPECT_EQ(file.bytes()[9], 0x00);
  EXPECT_EQ(file.bytes()[11], 0x01);
  EXPECT_EQ(merger.outputSize(), 0u);
  EXPECT_TRUE(merger.output().empty());
}

TEST(SmfMergeWorker, OtherModesDoNoWork) {
  const Bytes input = format1({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  CSmfMerger merger;
  merger.start(0, input.data(), static_cast<std::uint32_t>(input.size()));
  ASSERT_TRUE(merger.waitFor(std::chrono::seconds(60)));
  EXPECT_EQ(merger.status(), CSmfMerger::kRunning);
  EXPECT_EQ(merger.outputSize(), 0u);
}

TEST(SmfMergeWorker, CancelStopsTheMergeAndWaitsForTheWorker) {
  const Bytes input = largeFile(64, 50000);
  CSmfMerger merger;
  merger.start(1, input.data(), static_cast<std::uint32_t>(input.size()));
  merger.cancel();
  // cancel returns only once the worker has ended.
  EXPECT_FALSE(merger.running());
  EXPECT_EQ(merger.status(), CSmfMerger::kCancelled);
  EXPECT_EQ(merger.outputSize(), 0u);

  // The request stays for later merges of the same object.
  EXPECT_FALSE(merger.merge(input.data(), static_cast<std::uint32_t>(input.size())));
  EXPECT_EQ(merger.status(), CSmfMerger::kCancelled);
}

TEST(SmfMergeWorker, DestroyingARunningMergerWaitsForIt) {
  const Bytes input = largeFile(8, 20000);
  for (int i = 0; i < 3; ++i) {
    CSmfMerger merger;
    merger.start(1, input.data(), static_cast<std::uint32_t>(input.size()));
  }
  SUCCEED();  // the sanitizer builds catch any use of a freed merger
}

TEST(SmfMergeWorker, MergeReplacesThePreviousOutput) {
  const Bytes good = format1({{0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}});
  const Bytes bad = concat({header(0, 1), track({0x00, 0xFF, 0x2F, 0x00})});
  CSmfMerger merger;
  ASSERT_TRUE(merger.merge(good.data(), static_cast<std::uint32_t>(good.size())));
  EXPECT_FALSE(merger.merge(bad.data(), static_cast<std::uint32_t>(bad.size())));
  EXPECT_EQ(merger.status(), CSmfMerger::kNotFormat1);
  EXPECT_EQ(merger.outputSize(), 0u);
  ASSERT_TRUE(merger.merge(good.data(), static_cast<std::uint32_t>(good.size())));
  EXPECT_EQ(merger.outputSize(), 30u);
}

}  // namespace
}  // namespace quaverly::smf
