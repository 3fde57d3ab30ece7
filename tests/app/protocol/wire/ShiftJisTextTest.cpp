#include "app/protocol/wire/ShiftJisText.h"

#include <gtest/gtest.h>

namespace quaverly::protocol {
namespace {

// "ソ" is 83 5C in Shift JIS: its trail byte is a backslash. "ア" is 83 41 ('A').
const std::string kSo = "\x83\x5C";
const std::string kA = "\x83\x41";

TEST(ShiftJisText, ComparesAsciiWithoutCase) {
  EXPECT_EQ(compareIgnoringAsciiCase("song.mid", "SONG.MID"), 0);
  EXPECT_LT(compareIgnoringAsciiCase("a.mid", "B.MID"), 0);
  EXPECT_GT(compareIgnoringAsciiCase("c.mid", "B.MID"), 0);
  EXPECT_LT(compareIgnoringAsciiCase("AB", "ABC"), 0);
  EXPECT_GT(compareIgnoringAsciiCase("ABC", "ab"), 0);
  // Letters sort against punctuation by their upper-case code: '_' (0x5F) follows 'Z'.
  EXPECT_LT(compareIgnoringAsciiCase("z", "_"), 0);
}

TEST(ShiftJisText, DoesNotFoldTheTrailByteOfADoubleByteCharacter) {
  // 83 41 and 83 61 are different characters although 41/61 are 'A'/'a'.
  EXPECT_NE(compareIgnoringAsciiCase(kA, "\x83\x61"), 0);
  EXPECT_EQ(compareIgnoringAsciiCase(kA + "x", kA + "X"), 0);
  // A double-byte character sorts after every ASCII character.
  EXPECT_GT(compareIgnoringAsciiCase(kA, "Z"), 0);
}

TEST(ShiftJisText, SplitsPathsOnlyAtRealSeparators) {
  const std::string path = "0:\\" + kSo + "NG\\A.MID";
  const auto parts = splitInstrumentPath(path);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0], "0:");
  EXPECT_EQ(parts[1], kSo + "NG");
  EXPECT_EQ(parts[2], "A.MID");
  EXPECT_EQ(splitInstrumentPath("0:\\").back(), "");
  EXPECT_EQ(splitInstrumentPath("").size(), 1u);
  const std::string nested = "0:\\P\\" + kSo;
  EXPECT_EQ(lastSeparator(nested), 4u);
  EXPECT_EQ(lastSeparator(kSo), std::string_view::npos);
}

TEST(ShiftJisText, ConvertsToAndFromUtf8) {
  EXPECT_EQ(shiftJisToUtf8(kSo), "ソ");
  EXPECT_EQ(utf8ToShiftJis("ソング.MID"), kSo + "\x83\x93\x83\x4F.MID");
  EXPECT_EQ(utf8ToShiftJis("ASCII"), "ASCII");
  EXPECT_FALSE(shiftJisToUtf8("\x83").has_value());              // a lone lead byte
  EXPECT_FALSE(utf8ToShiftJis("\xF0\x9F\x8E\xB5").has_value());  // no Shift JIS form
}

}  // namespace
}  // namespace quaverly::protocol
