#include "app/settings/AppSettings.h"
#include "tests/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace quaverly {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

AppSettings fromIni(const std::string& transmitLines) {
  return readTransferSettings(IniFile::parse("[Transmit]\n" + transmitLines));
}

TEST(AppSettingsTest, DefaultsWithoutAnIniFile) {
  const AppSettings settings = readTransferSettings(IniFile{});
  EXPECT_EQ(settings.intervalTimeMs, 100);
  EXPECT_EQ(settings.intervalByteCount, 256);
  EXPECT_EQ(settings.convertMode, 3);
  EXPECT_TRUE(settings.fileTypes.empty());
  EXPECT_EQ(settings.currentFolder, "");
  EXPECT_EQ(settings.ctrlDlgWidth, 560);
  EXPECT_EQ(settings.ctrlDlgHeight, 320);
  EXPECT_EQ(settings.ctrlDlgTreeWidth, 176);
}

// The settings file shipped with the program changes no default and offers all files
// and, last (so chosen at first), Standard MIDI files.
TEST(AppSettingsTest, TheShippedFileKeepsTheDefaultsAndOffersTwoFileTypes) {
  const std::optional<IniFile> shipped = IniFile::load(SHIPPED_SETTINGS_FILE);
  ASSERT_TRUE(shipped);
  const AppSettings settings = readTransferSettings(*shipped);
  const AppSettings defaults;
  EXPECT_EQ(settings.intervalTimeMs, defaults.intervalTimeMs);
  EXPECT_EQ(settings.intervalByteCount, defaults.intervalByteCount);
  EXPECT_EQ(settings.convertMode, defaults.convertMode);
  EXPECT_EQ(settings.fileTypes,
            std::vector<std::string>({"All files (*.*)", "*.*", "Standard MIDI files (*.mid)", "*.mid"}));
}

TEST(AppSettingsTest, TransferValuesComeFromTheTransmitSection) {
  AppSettings settings = fromIni("IntervalTime(msec)=20\nIntervalByteCount=-1\nConvertMode=1\n");
  EXPECT_EQ(settings.intervalTimeMs, 20);
  EXPECT_EQ(settings.intervalByteCount, -1);
  EXPECT_EQ(settings.convertMode, 1);

  // Values of another section are not the program's.
  settings = readTransferSettings(IniFile::parse("[Receive]\nConvertMode=1\n"));
  EXPECT_EQ(settings.convertMode, 3);
  // A value that holds no number reads as 0, an empty one as the default.
  settings = fromIni("ConvertMode=never\nIntervalTime(msec)=\n");
  EXPECT_EQ(settings.convertMode, 0);
  EXPECT_EQ(settings.intervalTimeMs, 100);
}

TEST(AppSettingsTest, FileTypesAreSplitAtTheFirstSeparator) {
  AppSettings settings = fromIni(
      "FileTypeCount=4\n"
      "FileType1=MIDI files (*.mid);*.mid\n"
      "FileType2=Two;*.mid;*.smf\n"  // the pattern keeps the second separator
      "FileType3=No separator\n"
      "FileType4=;\n");
  EXPECT_EQ(settings.fileTypes,
            (Texts{"MIDI files (*.mid)", "*.mid", "Two", "*.mid;*.smf", "No separator", "", "", ""}));

  // Keys beyond the count are not read; missing and empty values give two empty texts.
  settings = fromIni("FileTypeCount=3\nFileType1=\nFileType3=x;y\nFileType4=ignored;z\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"", "", "", "", "x", "y"}));

  // The count is read like any integer: "2 types" is 2.
  settings = fromIni("FileTypeCount=2 types\nFileType1=a;b\nFileType2=c;d\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"a", "b", "c", "d"}));
}

TEST(AppSettingsTest, NoFileTypesForACountOfZeroOrLess) {
  for (const char* count : {"0", "-1", "-2147483648", "none", ""}) {
    const AppSettings settings = fromIni(std::string("FileTypeCount=") + count + "\nFileType1=a;b\nFileType0=c;d\n");
    EXPECT_TRUE(settings.fileTypes.empty()) << count;
  }
}

TEST(AppSettingsTest, TheSeparatorIsTheFirstCharacterOfFileTypeSeparate) {
  // Several characters: only the first counts.
  AppSettings settings = fromIni("FileTypeCount=1\nFileTypeSeparate=|;\nFileType1=a;b|c;d\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"a;b", "c;d"}));

  // A separator the values do not contain leaves every pattern empty.
  settings = fromIni("FileTypeCount=2\nFileTypeSeparate=#\nFileType1=a;b\nFileType2=c\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"a;b", "", "c", ""}));

  // A blank separator must be quoted to survive the trimming of values.
  settings = fromIni("FileTypeCount=1\nFileTypeSeparate=\" \"\nFileType1=Songs *.mid\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"Songs", "*.mid"}));

  // An empty separator splits nothing.
  settings = fromIni("FileTypeCount=1\nFileTypeSeparate=\nFileType1=a;b\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"a;b", ""}));

  // A character of several UTF-8 bytes is one character.
  settings = fromIni("FileTypeCount=1\nFileTypeSeparate=、。\nFileType1=曲、*.mid\n");
  EXPECT_EQ(settings.fileTypes, (Texts{"曲", "*.mid"}));

  EXPECT_EQ(splitFileType("a;b", ";;"), (std::pair<std::string, std::string>{"a", "b"}));
  EXPECT_EQ(splitFileType("a;", ";"), (std::pair<std::string, std::string>{"a", ""}));
  EXPECT_EQ(splitFileType(";b", ";"), (std::pair<std::string, std::string>{"", "b"}));
  // A separator that is a broken UTF-8 sequence is taken as far as it goes.
  EXPECT_EQ(splitFileType("a\xE3\x80x", "\xE3\x80"), (std::pair<std::string, std::string>{"a", "x"}));
}

TEST(AppSettingsTest, AHugeFileTypeCountIsCapped) {
  const AppSettings settings = fromIni("FileTypeCount=2147483647\nFileType1=a;b\n");
  ASSERT_EQ(settings.fileTypes.size(), 2u * kMaxFileTypeEntries);
  EXPECT_EQ(settings.fileTypes[0], "a");
  EXPECT_EQ(settings.fileTypes[1], "b");
  EXPECT_EQ(settings.fileTypes.back(), "");
}

// ---- where the INI file lies ------------------------------------------------------

class IniLocationTest : public ::testing::Test {
 protected:
  void SetUp() override { root_ = quaverly::test::makeTemporaryFolder("quaverly-settings"); }
  void TearDown() override { fs::remove_all(root_); }

  EnvironmentLookup environment() const {
    return [this](const char* name) -> std::optional<std::string> {
      const auto found = variables_.find(name);
      if (found == variables_.end()) return std::nullopt;
      return found->second;
    };
  }
  void touch(const fs::path& path) const {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "[Transmit]\n";
  }

  fs::path root_;
  std::map<std::string, std::string> variables_;
};

#ifndef _WIN32
// The XDG folders are those of the free desktops; on Windows the INI file lies beside
// the program, and a folder list there would split at the colon of a drive.
TEST_F(IniLocationTest, CandidatesBesideTheProgramThenTheXdgFolders) {
  variables_ = {{"XDG_CONFIG_HOME", "/home/u/conf"}, {"XDG_CONFIG_DIRS", "/etc/one::relative/dir:/etc/two"}};
  const auto candidates = iniFileCandidates("/opt/q/bin", "Quaverly", environment());
  EXPECT_EQ(candidates, (std::vector<fs::path>{"/opt/q/bin/Quaverly.ini", "/opt/q/bin/quaverly.ini",
                                               "/opt/q/bin/Quaverly.INI", "/home/u/conf/VELMAR/Quaverly.ini",
                                               "/etc/one/VELMAR/Quaverly.ini", "/etc/two/VELMAR/Quaverly.ini"}));
}

TEST_F(IniLocationTest, XdgDefaultsApplyWhenTheVariablesAreUnsetOrUnusable) {
  variables_ = {{"HOME", "/home/u"}};
  EXPECT_EQ(iniFileCandidates("", "Quaverly", environment()),
            (std::vector<fs::path>{"/home/u/.config/VELMAR/Quaverly.ini", "/etc/xdg/VELMAR/Quaverly.ini"}));

  // Empty counts as unset; a relative folder is ignored (and HOME is then not used).
  variables_ = {{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", ""}, {"XDG_CONFIG_DIRS", ""}};
  EXPECT_EQ(iniFileCandidates("", "Quaverly", environment()),
            (std::vector<fs::path>{"/home/u/.config/VELMAR/Quaverly.ini", "/etc/xdg/VELMAR/Quaverly.ini"}));
  variables_ = {{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", "conf"}};
  EXPECT_EQ(iniFileCandidates("", "Quaverly", environment()), (std::vector<fs::path>{"/etc/xdg/VELMAR/Quaverly.ini"}));
  variables_ = {{"HOME", "relative"}};
  EXPECT_EQ(iniFileCandidates("", "Quaverly", environment()), (std::vector<fs::path>{"/etc/xdg/VELMAR/Quaverly.ini"}));
}

TEST_F(IniLocationTest, TheFirstExistingFileIsTaken) {
  const fs::path program = root_ / "bin";
  const fs::path home = root_ / "home";
  const fs::path system = root_ / "etc";
  fs::create_directories(program);
  variables_ = {{"XDG_CONFIG_HOME", home.string()}, {"XDG_CONFIG_DIRS", system.string()}};

  EXPECT_FALSE(locateIniFile(program, "Quaverly", environment()));
  touch(system / "VELMAR" / "Quaverly.ini");
  EXPECT_EQ(locateIniFile(program, "Quaverly", environment()), system / "VELMAR" / "Quaverly.ini");
  // A folder of that name is no INI file.
  fs::create_directories(home / "VELMAR" / "Quaverly.ini");
  EXPECT_EQ(locateIniFile(program, "Quaverly", environment()), system / "VELMAR" / "Quaverly.ini");
  fs::remove(home / "VELMAR" / "Quaverly.ini");
  touch(home / "VELMAR" / "Quaverly.ini");
  EXPECT_EQ(locateIniFile(program, "Quaverly", environment()), home / "VELMAR" / "Quaverly.ini");
  // Beside the program wins over every XDG folder.
  touch(program / "quaverly.ini");
  EXPECT_EQ(locateIniFile(program, "Quaverly", environment()), program / "quaverly.ini");
  touch(program / "Quaverly.ini");
  EXPECT_EQ(locateIniFile(program, "Quaverly", environment()), program / "Quaverly.ini");
}
#endif

// ---- user settings -----------------------------------------------------------------

// A store in memory that can be told to refuse writes.
class MemoryStore final : public UserSettingsStore {
 public:
  std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const override {
    const auto found = integers.find(path(section, key));
    return found == integers.end() ? defaultValue : found->second;
  }
  std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const override {
    const auto found = texts.find(path(section, key));
    return found == texts.end() ? std::string(defaultValue) : found->second;
  }
  bool writeInteger(std::string_view section, std::string_view key, std::int32_t value) override {
    ++writes;
    if (refuse) return false;
    integers[path(section, key)] = value;
    return true;
  }
  bool writeString(std::string_view section, std::string_view key, std::string_view value) override {
    ++writes;
    if (refuse) return false;
    texts[path(section, key)] = std::string(value);
    return true;
  }

  static std::string path(std::string_view section, std::string_view key) {
    return std::string(section) + "/" + std::string(key);
  }

  std::map<std::string, std::int32_t> integers;
  std::map<std::string, std::string> texts;
  bool refuse = false;
  int writes = 0;
};

TEST(UserSettingsTest, ReadWithDefaultsAndWrittenBack) {
  MemoryStore store;
  AppSettings settings;
  settings.ctrlDlgWidth = 1;
  readUserSettings(store, settings);
  EXPECT_EQ(settings.currentFolder, "");
  EXPECT_EQ(settings.ctrlDlgWidth, 560);
  EXPECT_EQ(settings.ctrlDlgHeight, 320);
  EXPECT_EQ(settings.ctrlDlgTreeWidth, 176);

  store.texts["Settings/CurrentFolder"] = "/home/u/曲";
  store.integers["Settings/CtrlDlgWidth"] = 800;
  store.integers["Settings/CtrlDlgHeight"] = -5;
  store.integers["Settings/CtrlDlgTreeWidth"] = 200;
  readUserSettings(store, settings);
  EXPECT_EQ(settings.currentFolder, "/home/u/曲");
  EXPECT_EQ(settings.ctrlDlgWidth, 800);
  EXPECT_EQ(settings.ctrlDlgHeight, -5);
  EXPECT_EQ(settings.ctrlDlgTreeWidth, 200);

  MemoryStore copy;
  EXPECT_TRUE(writeUserSettings(copy, settings));
  EXPECT_EQ(copy.texts, store.texts);
  EXPECT_EQ(copy.integers, store.integers);

  // Every value is tried even when the store refuses.
  MemoryStore refusing;
  refusing.refuse = true;
  EXPECT_FALSE(writeUserSettings(refusing, settings));
  EXPECT_EQ(refusing.writes, 4);
}

TEST(UserSettingsTest, DeviceIdsLieInTheMidiDeviceSection) {
  MemoryStore store;
  StoredDeviceIds ids = readDeviceIds(store);
  EXPECT_EQ(ids.inputId, 0u);
  EXPECT_EQ(ids.outputId, 0u);

  EXPECT_TRUE(writeDeviceIds(store, {3, 0xFFFFFFFFu}));
  EXPECT_EQ(store.integers["MidiDevice/InID"], 3);
  EXPECT_EQ(store.integers["MidiDevice/OutID"], -1);  // the same 32-bit word
  ids = readDeviceIds(store);
  EXPECT_EQ(ids.inputId, 3u);
  EXPECT_EQ(ids.outputId, 0xFFFFFFFFu);
}

}  // namespace
}  // namespace quaverly
