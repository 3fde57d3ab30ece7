#include "app/settings/IniFile.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

namespace quaverly {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kDefault = -12345;

TEST(IniFileTest, SectionAndKeyNamesIgnoreAsciiCase) {
  const IniFile ini = IniFile::parse("[tRaNsMiT]\nintervaltime(MSEC)=5\nCONVERTMODE=1\n");
  EXPECT_EQ(ini.readInteger("Transmit", "IntervalTime(msec)", kDefault), 5);
  EXPECT_EQ(ini.readInteger("TRANSMIT", "ConvertMode", kDefault), 1);
  // The names given to a lookup are trimmed like those in the file.
  EXPECT_EQ(ini.readInteger("  Transmit ", " ConvertMode\t", kDefault), 1);
  // Case folding is ASCII only: the bytes of other characters must agree exactly.
  const IniFile japanese = IniFile::parse("[設定]\nＡ=1\n");
  EXPECT_EQ(japanese.readInteger("設定", "Ａ", kDefault), 1);
  EXPECT_EQ(japanese.readInteger("設定", "ａ", kDefault), kDefault);
}

TEST(IniFileTest, LinesAndValuesAreReadLikePrivateProfiles) {
  const IniFile ini = IniFile::parse(
      "  [ Transmit ]   ; a comment after the header\r\n"
      "   Spaced   =   a value with  inner  blanks  \t\r\n"
      "Semicolon=text ; still the value\n"
      "Equals=a=b=c\n"
      "Empty=\n"
      "NoEquals\n"
      "#Hash=1\n"
      ";Commented=1\n"
      "   ;Indented=1\n"
      "\n"
      "Last=no line break at the end");
  EXPECT_EQ(ini.readString("Transmit", "Spaced", "d"), "a value with  inner  blanks");
  EXPECT_EQ(ini.readString("Transmit", "Semicolon", "d"), "text ; still the value");
  EXPECT_EQ(ini.readString("Transmit", "Equals", "d"), "a=b=c");
  EXPECT_EQ(ini.readString("Transmit", "Empty", "d"), "");
  // A line without '=' names a key that has no value: the default is read.
  EXPECT_EQ(ini.readString("Transmit", "NoEquals", "d"), "d");
  EXPECT_FALSE(ini.rawValue("Transmit", "NoEquals"));
  // Only ';' starts a comment, and only at the start of a line.
  EXPECT_EQ(ini.readString("Transmit", "#Hash", "d"), "1");
  EXPECT_EQ(ini.readString("Transmit", "Commented", "d"), "d");
  EXPECT_EQ(ini.readString("Transmit", ";Commented", "d"), "d");
  EXPECT_EQ(ini.readString("Transmit", "Indented", "d"), "d");
  EXPECT_EQ(ini.readString("Transmit", "Last", "d"), "no line break at the end");
}

TEST(IniFileTest, SectionHeadersAndKeysOutsideSections) {
  const IniFile ini = IniFile::parse(
      "Orphan=1\n"
      "[a]b]\n"
      "Key=inner bracket\n"
      "[]\n"
      "Key=empty name\n"
      "[Unclosed\n"
      "[Open\n");
  // Before the first section: never found.
  EXPECT_EQ(ini.readString("", "Orphan", "d"), "d");
  // The name runs to the last ']' on the line.
  EXPECT_EQ(ini.readString("a]b", "Key", "d"), "inner bracket");
  EXPECT_EQ(ini.readString("a", "Key", "d"), "d");
  EXPECT_EQ(ini.readString("", "Key", "d"), "empty name");
  // A '[' without ']' starts no section; the line is a key of the section before.
  EXPECT_EQ(ini.readString("Unclosed", "Key", "d"), "d");
  EXPECT_FALSE(ini.rawValue("", "[Unclosed"));
  EXPECT_EQ(ini.readString("", "Key", "d"), "empty name");
}

TEST(IniFileTest, FirstSectionAndFirstKeyOfANameWin) {
  const IniFile ini = IniFile::parse(
      "[Transmit]\n"
      "ConvertMode=1\n"
      "convertmode=2\n"
      "[Other]\n"
      "X=1\n"
      "[TRANSMIT]\n"
      "ConvertMode=3\n"
      "OnlyInSecond=4\n");
  EXPECT_EQ(ini.readInteger("Transmit", "ConvertMode", kDefault), 1);
  // Keys of a later section with the same name are not seen.
  EXPECT_EQ(ini.readInteger("Transmit", "OnlyInSecond", kDefault), kDefault);
}

TEST(IniFileTest, MissingKeysAndFilesGiveTheDefault) {
  const IniFile none;
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.readInteger("Transmit", "ConvertMode", 3), 3);
  EXPECT_EQ(none.readString("Transmit", "FileTypeSeparate", ";"), ";");
  // Trailing blanks of a default are dropped, as the profile string read does.
  EXPECT_EQ(none.readString("Transmit", "Key", "text  "), "text");
  EXPECT_EQ(none.readString("Transmit", "Key", " \t "), " \t");

  const IniFile ini = IniFile::parse("[Transmit]\nEmpty=\nQuotedEmpty=\"\"\nBlank=   \n");
  EXPECT_EQ(ini.readInteger("Transmit", "Missing", 7), 7);
  EXPECT_EQ(ini.readInteger("Elsewhere", "Empty", 7), 7);
  // An empty value reads as the default integer too, but as an empty text.
  EXPECT_EQ(ini.readInteger("Transmit", "Empty", 7), 7);
  EXPECT_EQ(ini.readInteger("Transmit", "QuotedEmpty", 7), 7);
  EXPECT_EQ(ini.readInteger("Transmit", "Blank", 7), 7);
  EXPECT_EQ(ini.readString("Transmit", "Empty", "d"), "");

  EXPECT_FALSE(IniFile::load("/nonexistent/quaverly.ini"));
  EXPECT_FALSE(IniFile::load(fs::temp_directory_path()));  // a folder
}

TEST(IniFileTest, SurroundingQuotesAreRemovedOnlyInPairs) {
  const IniFile ini = IniFile::parse(
      "[S]\n"
      "Double=\"  padded  \"\n"
      "Single='x'\n"
      "Mixed=\"x'\n"
      "Lone=\"\n"
      "Inner=a \"b\" c\n"
      "Number=\" 42 \"\n");
  EXPECT_EQ(ini.readString("S", "Double", "d"), "  padded  ");
  EXPECT_EQ(ini.readString("S", "Single", "d"), "x");
  EXPECT_EQ(ini.readString("S", "Mixed", "d"), "\"x'");
  EXPECT_EQ(ini.readString("S", "Lone", "d"), "\"");
  EXPECT_EQ(ini.readString("S", "Inner", "d"), "a \"b\" c");
  EXPECT_EQ(ini.readInteger("S", "Number", kDefault), 42);
  // rawValue keeps the file's text.
  EXPECT_EQ(ini.rawValue("S", "Single"), "'x'");
}

TEST(IniFileTest, IntegersAreReadLikeTheProfileIntegerRead) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"42", 42},
      {"  \t-17", -17},
      {"+8", 8},
      {"12abc", 12},
      {"abc", 0},  // no digits: 0, not the default
      {"-", 0},
      {"- 5", 0},
      {"--5", 0},
      {"0x10", 0},  // decimal only
      {"007", 7},
      {"1 2", 1},
      {"3.9", 3},
      {"2147483647", 2147483647},
      {"2147483648", std::numeric_limits<std::int32_t>::min()},  // wraps like a 32-bit word
      {"4294967295", -1},
      {"4294967296", 0},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"99999999999999999999", static_cast<std::int32_t>(0x630FFFFFu)},  // 10^20 - 1 modulo 2^32
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parseProfileInteger(c.text), c.expected) << "'" << c.text << "'";
    const IniFile ini = IniFile::parse(std::string("[S]\nK=") + c.text + "\n");
    EXPECT_EQ(ini.readInteger("S", "K", kDefault), c.expected) << "'" << c.text << "'";
  }
  // Only the first 29 characters count.
  EXPECT_EQ(parseProfileInteger(std::string(28, '0') + "12"), 1);
  EXPECT_EQ(parseProfileInteger(std::string(29, '0') + "5"), 0);
}

TEST(IniFileTest, UntrustedTextIsBounded) {
  // A value longer than the largest read is cut, never at the middle of a UTF-8
  // character.
  const std::string longValue(IniFile::kMaxValueBytes + 100, 'a');
  IniFile ini = IniFile::parse("[S]\nK=" + longValue + "\n");
  EXPECT_EQ(ini.readString("S", "K", "d"), std::string(IniFile::kMaxValueBytes, 'a'));
  const std::string cutInCharacter = std::string(IniFile::kMaxValueBytes - 1, 'a') + "é";
  ini = IniFile::parse("[S]\nK=" + cutInCharacter + "\n");
  EXPECT_EQ(ini.readString("S", "K", "d"), std::string(IniFile::kMaxValueBytes - 1, 'a'));

  // A NUL ends a name and a value.
  const char withNul[] = "[S\0x]\nK=ab\0cd\nL\0ong=1\n";
  ini = IniFile::parse(std::string(withNul, sizeof withNul - 1));
  EXPECT_EQ(ini.readString("S", "K", "d"), "ab");
  EXPECT_EQ(ini.readString("S", "L", "d"), "1");

  // A byte order mark is no part of the first line.
  ini = IniFile::parse("\xEF\xBB\xBF[S]\nK=1\n");
  EXPECT_EQ(ini.readInteger("S", "K", kDefault), 1);

  // Past the largest file read, nothing is seen.
  std::string huge = "[S]\nEarly=1\n";
  huge += std::string(IniFile::kMaxFileBytes, ';');
  huge += "\nLate=1\n";
  ini = IniFile::parse(huge);
  EXPECT_EQ(ini.readInteger("S", "Early", kDefault), 1);
  EXPECT_EQ(ini.readInteger("S", "Late", kDefault), kDefault);

  // Arbitrary bytes parse without harm, whatever they hold.
  std::uint32_t seed = 12345;
  for (int round = 0; round < 200; ++round) {
    std::string noise;
    for (int i = 0; i < 400; ++i) {
      seed = seed * 1103515245u + 12345u;
      const auto byte = static_cast<char>((seed >> 16) & 0xFF);
      // Plenty of the bytes that matter to the parser.
      const char special[] = {'[', ']', '=', ';', '\n', '\r', '"', '\'', ' ', '\0'};
      noise += (seed & 0x100) ? special[(seed >> 9) % sizeof special] : byte;
    }
    const IniFile parsed = IniFile::parse(noise);
    parsed.readString("", "", "d");
    parsed.readInteger("S", "K", 0);
  }
}

TEST(IniFileTest, LoadsAFileFromDisk) {
  const fs::path dir = quaverly::test::makeTemporaryFolder("quaverly-ini");
  const fs::path file = dir / "Quaverly.ini";
  {
    std::ofstream out(file, std::ios::binary);
    out << "[Transmit]\r\nIntervalTime(msec)=250\r\nFileTypeSeparate=|\r\n";
  }
  const auto ini = IniFile::load(file);
  ASSERT_TRUE(ini);
  EXPECT_EQ(ini->readInteger("Transmit", "IntervalTime(msec)", kDefault), 250);
  EXPECT_EQ(ini->readString("Transmit", "FileTypeSeparate", ";"), "|");

  // Only the first kMaxFileBytes are read.
  {
    std::ofstream out(file, std::ios::binary);
    out << "[S]\nEarly=1\n" << std::string(IniFile::kMaxFileBytes, '\n') << "Late=1\n";
  }
  const auto big = IniFile::load(file);
  ASSERT_TRUE(big);
  EXPECT_EQ(big->readInteger("S", "Early", kDefault), 1);
  EXPECT_EQ(big->readInteger("S", "Late", kDefault), kDefault);

  fs::remove_all(dir);
}

}  // namespace
}  // namespace quaverly
