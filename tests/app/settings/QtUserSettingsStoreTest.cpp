#include "app/settings/QtUserSettingsStore.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quaverly {
namespace {

namespace fs = std::filesystem;

// Each test keeps its settings in a folder of its own, in place of the user's.
class QtUserSettingsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "quaverly-qsettings-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(root_.string()));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromStdString(root_.string()));
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path file() const { return root_ / "VELMAR" / "Tessitor.conf"; }

  void writeFile(const std::string& text) const {
    fs::create_directories(file().parent_path());
    std::ofstream(file(), std::ios::binary) << text;
  }

  std::string readFile() const {
    std::ifstream in(file(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path root_;
};

TEST_F(QtUserSettingsStoreTest, ValuesLieUnderTheProgramsKey) {
  {
    QtUserSettingsStore store;
    EXPECT_EQ(fs::path(store.location()), file());
    EXPECT_TRUE(writeDeviceIds(store, {2, 5}));
    AppSettings settings;
    settings.currentFolder = "/home/u/曲 folder";
    settings.ctrlDlgWidth = 700;
    EXPECT_TRUE(writeUserSettings(store, settings));
  }
  // The registry's key path Software\VELMAR\Tessitor\Quaverly\MidiDevice, in the
  // file QSettings keeps for it.
  const std::string text = readFile();
  EXPECT_NE(text.find("[Quaverly]"), std::string::npos) << text;
  EXPECT_NE(text.find("MidiDevice\\InID=2"), std::string::npos) << text;
  EXPECT_NE(text.find("MidiDevice\\OutID=5"), std::string::npos) << text;
  EXPECT_NE(text.find("Settings\\CtrlDlgWidth=700"), std::string::npos) << text;

  const QtUserSettingsStore store;
  const StoredDeviceIds ids = readDeviceIds(store);
  EXPECT_EQ(ids.inputId, 2u);
  EXPECT_EQ(ids.outputId, 5u);
  AppSettings settings;
  readUserSettings(store, settings);
  EXPECT_EQ(settings.currentFolder, "/home/u/曲 folder");
  EXPECT_EQ(settings.ctrlDlgWidth, 700);
  EXPECT_EQ(settings.ctrlDlgHeight, 320);
  // Another program's values are not read.
  EXPECT_EQ(QtUserSettingsStore("VELMAR", "Tessitor", "Other").readInteger("MidiDevice", "InID", 9), 9);
}

TEST_F(QtUserSettingsStoreTest, UnreadableValuesGiveTheDefault) {
  writeFile(
      "[Quaverly]\n"
      "MidiDevice\\InID=abc\n"
      "MidiDevice\\OutID=4294967295\n"
      "Settings\\CtrlDlgWidth=99999999999\n"
      "Settings\\CtrlDlgHeight=-2147483648\n"
      "Settings\\CtrlDlgTreeWidth=-2147483649\n"
      "Settings\\CurrentFolder=" +
      std::string(QtUserSettingsStore::kMaxTextBytes + 1, 'x') + "\n");
  const QtUserSettingsStore store;
  EXPECT_EQ(store.readInteger("MidiDevice", "InID", 7), 7);
  EXPECT_EQ(store.readInteger("MidiDevice", "OutID", 7), -1);  // an unsigned word
  EXPECT_EQ(store.readInteger("Settings", "CtrlDlgWidth", 7), 7);
  EXPECT_EQ(store.readInteger("Settings", "CtrlDlgHeight", 7), -2147483647 - 1);
  EXPECT_EQ(store.readInteger("Settings", "CtrlDlgTreeWidth", 7), 7);
  EXPECT_EQ(store.readString("Settings", "CurrentFolder", "d"), "d");
  EXPECT_EQ(store.readString("Settings", "Missing", "d"), "d");
}

}  // namespace
}  // namespace quaverly
