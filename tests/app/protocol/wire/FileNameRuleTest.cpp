#include "app/protocol/wire/FileNameRule.h"

#include <gtest/gtest.h>

#include <string>

namespace quaverly {
namespace {

TEST(FileNameRule, AcceptsEightThreeNamesOfAllowedCharacters) {
  for (const char* name : {"A", "A.", "SONG1.MID", "song1.mid", "12345678.123", "$&#%'()-.@_^", "{}~!.X", "a.b"}) {
    EXPECT_TRUE(isValidFileName(name)) << name;
  }
}

TEST(FileNameRule, RefusesEmptyLongOrMalformedNames) {
  for (const char* name : {"", ".", ".MID", "123456789.MID", "SONG.MIDI", "A.B.C", "A..", "MY SONG.MID", "A*.MID",
                           "A/B", "A\\B", "A:B", "A+B", "A,B", "A=B", "A;B", "A[1]"}) {
    EXPECT_FALSE(isValidFileName(name)) << name;
  }
}

TEST(FileNameRule, RefusesBytesOutsideAscii) {
  EXPECT_FALSE(isValidFileName("\x83\x65.MID"));          // Shift JIS katakana
  EXPECT_FALSE(isValidFileName("\xE6\x9B\xB2.MID"));      // UTF-8 kanji
  EXPECT_FALSE(isValidFileName(std::string("A\0B", 3)));  // an embedded NUL
}

}  // namespace
}  // namespace quaverly
