#include "app/protocol/wire/ShiftJisText.h"

#include <gtest/gtest.h>

#include <vector>

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

// Both ways alike on every platform (iconv on Linux, the system's code page 932 on
// Windows).
TEST(ShiftJisText, ConvertsToAndFromUtf8) {
  struct Pair {
    std::string utf8;
    std::string shiftJis;
  };
  for (const Pair& p : std::vector<Pair>{
           {"", ""},
           {"ASCII", "ASCII"},
           {"ソング.MID", kSo + "\x83\x93\x83\x4F.MID"},
           {"表", "\x95\x5C"},                      // the trail byte is a backslash
           {"ｿﾝｸﾞ", "\xBF\xDD\xB8\xDE"},          // half-width katakana: one byte each
           {"ＡＢ曲", "\x82\x60\x82\x61\x8B\xC8"},  // full-width letters and a kanji
       }) {
    EXPECT_EQ(utf8ToShiftJis(p.utf8), p.shiftJis) << p.utf8;
    EXPECT_EQ(shiftJisToUtf8(p.shiftJis), p.utf8) << p.utf8;
  }
  EXPECT_FALSE(shiftJisToUtf8("\x83").has_value());  // a lone lead byte
  EXPECT_FALSE(shiftJisToUtf8("A\x81").has_value());
  // No Shift JIS form: nothing, never a look-alike ("e" for "é") or a question mark.
  for (const char* utf8 : {"\xF0\x9F\x8E\xB5", "caf\xC3\xA9", "\xC3", "\xFF"}) {
    EXPECT_FALSE(utf8ToShiftJis(utf8).has_value()) << utf8;
  }
}

}  // namespace
}  // namespace quaverly::protocol
