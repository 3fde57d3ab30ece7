// The current instrument and the language as the Windows build reads them (run under
// wine). HKEY_CURRENT_USER is redirected to a scratch key, so the test writes the
// MIDIMap key freely and never touches the user's settings.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "portlib/CurrentInstrument.h"

namespace {

// The bytes of a UTF-16 text, `drop` bytes short of the end of its closing NUL.
template <std::size_t n>
std::vector<BYTE> utf16(const wchar_t (&text)[n], std::size_t drop = 0) {
  const auto* bytes = reinterpret_cast<const BYTE*>(text);
  return {bytes, bytes + sizeof text - drop};
}

TEST(CurrentInstrumentTest, ReadsTheNameAsStored) {
  struct Stored {
    const wchar_t* name;  // nullptr: no MIDIMap key at all
    DWORD type;
    std::vector<BYTE> bytes;
    std::optional<std::string> expected;
  };
  const Stored cases[] = {
      {nullptr, REG_SZ, {}, std::nullopt},
      {L"Other", REG_SZ, utf16(L"Synth"), std::nullopt},
      {L"CurrentInstrument", REG_SZ, utf16(L"音源 Ｂ-7"), "音源 Ｂ-7"},
      {L"CurrentInstrument", REG_SZ, utf16(L""), ""},
      {L"CurrentInstrument", REG_SZ, {}, ""},
      {L"CurrentInstrument", REG_SZ, utf16(L"Synth", 2), "Synth"},  // without its NUL
      {L"CurrentInstrument", REG_SZ, utf16(L"AB", 3), "AB"},        // an odd byte count
      {L"CurrentInstrument", REG_EXPAND_SZ, utf16(L"Synth\0Old"), "Synth"},
      {L"CurrentInstrument", REG_DWORD, {1, 0, 0, 0}, std::nullopt},
      {L"CurrentInstrument", REG_SZ, std::vector<BYTE>(65538, 'a'), std::nullopt},
  };
  HKEY scratch = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Quaverly tests", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &scratch, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, scratch), ERROR_SUCCESS);
  for (const Stored& stored : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &stored - cases);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software");
    if (stored.name) {
      ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap",
                                stored.name, stored.type, stored.bytes.data(), static_cast<DWORD>(stored.bytes.size())),
                ERROR_SUCCESS);
    }
    EXPECT_EQ(tonelink::systemInstrumentName(), stored.expected);
  }
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  RegCloseKey(scratch);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quaverly tests");
}

// On a Japanese system the answer depends on the language Windows itself is shown in,
// and wine names every language in English.
TEST(SystemLanguageTest, EnglishOnASystemThatIsNotJapanese) {
  if (PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_JAPANESE) GTEST_SKIP() << "a Japanese system";
  EXPECT_TRUE(tonelink::systemWantsEnglish());
}

}  // namespace
