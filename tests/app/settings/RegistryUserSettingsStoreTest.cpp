#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/settings/RegistryUserSettingsStore.h"

namespace {

using quaverly::RegistryUserSettingsStore;

// Each test works in a key of its own below HKEY_CURRENT_USER\Software, removed after.
class RegistryStoreTest : public ::testing::Test {
 protected:
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuaverlyTestOrg"); }

  RegistryUserSettingsStore store_{"QuaverlyTestOrg", "Tessitor", "Quaverly"};
  static constexpr const wchar_t* kSettingsKey = L"Software\\QuaverlyTestOrg\\Tessitor\\Quaverly\\Settings";
};

TEST_F(RegistryStoreTest, ValuesLieInTheProgramsKeyAsDwordsAndStrings) {
  ASSERT_TRUE(store_.writeInteger("Settings", "CtrlDlgWidth", 612));
  ASSERT_TRUE(store_.writeString("Settings", "CurrentFolder", "C:\\曲\\ソング"));

  DWORD word = 0, size = sizeof word, type = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"CtrlDlgWidth", RRF_RT_ANY, &type, &word, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(word, 612u);
  wchar_t text[64] = {};
  size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"CurrentFolder", RRF_RT_ANY, &type, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::wstring(text), L"C:\\\u66F2\\\u30BD\u30F3\u30B0");
  EXPECT_EQ(store_.location(), "HKEY_CURRENT_USER\\Software\\QuaverlyTestOrg\\Tessitor\\Quaverly");
}

TEST_F(RegistryStoreTest, ReadsBackWhatItWrote) {
  for (const std::int32_t value : {0, 1, -1, 560, INT32_MIN, INT32_MAX}) {
    ASSERT_TRUE(store_.writeInteger("MidiDevice", "InID", value));
    EXPECT_EQ(store_.readInteger("MidiDevice", "InID", 7), value);
  }
  for (const std::string text : {"", "D:\\songs", "日本語のフォルダ\\ｿﾝｸﾞ"}) {
    ASSERT_TRUE(store_.writeString("Settings", "CurrentFolder", text));
    EXPECT_EQ(store_.readString("Settings", "CurrentFolder", "default"), text);
  }
}

// Values another program (or a hand) put there: a wrong type, a string without its
// NUL, an oversized text. Each read gives the default or the text up to its NUL.
TEST_F(RegistryStoreTest, ValuesOfTheWrongKindOrSizeGiveTheDefault) {
  EXPECT_EQ(store_.readInteger("Settings", "Missing", 42), 42);
  EXPECT_EQ(store_.readString("Settings", "Missing", "none"), "none");

  ASSERT_TRUE(store_.writeString("Settings", "CtrlDlgWidth", "612"));
  EXPECT_EQ(store_.readInteger("Settings", "CtrlDlgWidth", 560), 560);
  ASSERT_TRUE(store_.writeInteger("Settings", "CurrentFolder", 3));
  EXPECT_EQ(store_.readString("Settings", "CurrentFolder", "none"), "none");

  const wchar_t unterminated[] = {L'A', L'B', L'\0', L'C'};
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Cut", REG_SZ, unterminated, sizeof unterminated),
            ERROR_SUCCESS);
  EXPECT_EQ(store_.readString("Settings", "Cut", "none"), "AB");

  const std::wstring huge(RegistryUserSettingsStore::kMaxTextBytes + 1, L'x');
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"Huge", REG_SZ, huge.c_str(),
                            static_cast<DWORD>((huge.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  EXPECT_EQ(store_.readString("Settings", "Huge", "none"), "none");
}

}  // namespace
