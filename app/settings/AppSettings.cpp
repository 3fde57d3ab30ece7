#include "app/settings/AppSettings.h"

#include <array>
#include <cstdlib>
#include <system_error>

namespace quaverly {

namespace {

constexpr std::string_view kTransmitSection = "Transmit";
constexpr std::string_view kSettingsSection = "Settings";
constexpr std::string_view kMidiDeviceSection = "MidiDevice";

// The length of the UTF-8 character that `text` starts with; a stray continuation or
// an invalid lead byte counts as one byte, and a sequence cut short by the end of the
// text as what is left of it.
std::size_t firstCharacterLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = 1;
  if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = lead <= 0xEF ? 3 : 1;
  } else if (lead >= 0xC2) {
    length = 2;
  }
  std::size_t i = 1;
  while (i < length && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// An absolute folder from the environment, as the XDG rules accept it.
std::optional<std::filesystem::path> absoluteFolder(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::filesystem::path folder(text);
  if (!folder.is_absolute()) return std::nullopt;
  return folder;
}

}  // namespace

std::pair<std::string, std::string> splitFileType(std::string_view value, std::string_view separatorText) {
  const std::string_view separator = separatorText.substr(0, firstCharacterLength(separatorText));
  const std::size_t at = separator.empty() ? std::string_view::npos : value.find(separator);
  if (at == std::string_view::npos) return {std::string(value), std::string()};
  return {std::string(value.substr(0, at)), std::string(value.substr(at + separator.size()))};
}

AppSettings readTransferSettings(const IniFile& ini) {
  AppSettings settings;
  settings.intervalTimeMs = ini.readInteger(kTransmitSection, "IntervalTime(msec)", 100);
  settings.intervalByteCount = ini.readInteger(kTransmitSection, "IntervalByteCount", 256);
  settings.convertMode = ini.readInteger(kTransmitSection, "ConvertMode", 3);
  const std::int32_t count = ini.readInteger(kTransmitSection, "FileTypeCount", 0);
  const std::string separator = ini.readString(kTransmitSection, "FileTypeSeparate", ";");
  const std::int32_t entries = count < kMaxFileTypeEntries ? count : kMaxFileTypeEntries;
  for (std::int32_t n = 1; n <= entries; ++n) {
    const std::string key = "FileType" + std::to_string(n);
    auto [description, pattern] = splitFileType(ini.readString(kTransmitSection, key, ""), separator);
    settings.fileTypes.push_back(std::move(description));
    settings.fileTypes.push_back(std::move(pattern));
  }
  return settings;
}

std::optional<std::string> processEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

std::vector<std::filesystem::path> iniFileCandidates(const std::filesystem::path& programDirectory,
                                                     std::string_view programName,
                                                     const EnvironmentLookup& environment) {
  std::vector<std::filesystem::path> candidates;
  const std::string own(programName);
  std::string lower = own;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  // Beside the program. The platform the settings come from compares file names
  // without case; here the usual spellings are tried.
  if (!programDirectory.empty()) {
    for (const std::string& name : {own + ".ini", lower + ".ini", own + ".INI"}) {
      const std::filesystem::path path = programDirectory / name;
      bool seen = false;
      for (const auto& candidate : candidates) seen = seen || candidate == path;
      if (!seen) candidates.push_back(path);
    }
  }

  // An installed copy: the XDG configuration folders, the user's first.
  const std::filesystem::path relative = std::filesystem::path("VELMAR") / (own + ".ini");
  std::optional<std::filesystem::path> configHome;
  if (const auto home = environment("XDG_CONFIG_HOME"); home && !home->empty()) {
    configHome = absoluteFolder(*home);
  } else if (const auto userHome = environment("HOME")) {
    if (const auto folder = absoluteFolder(*userHome)) configHome = *folder / ".config";
  }
  if (configHome) candidates.push_back(*configHome / relative);

  std::string dirs = "/etc/xdg";
  if (const auto configured = environment("XDG_CONFIG_DIRS"); configured && !configured->empty()) dirs = *configured;
  std::string_view rest(dirs);
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    if (const auto folder = absoluteFolder(rest.substr(0, colon))) candidates.push_back(*folder / relative);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
  }
  return candidates;
}

std::optional<std::filesystem::path> locateIniFile(const std::filesystem::path& programDirectory,
                                                   std::string_view programName, const EnvironmentLookup& environment) {
  for (const auto& candidate : iniFileCandidates(programDirectory, programName, environment)) {
    std::error_code error;
    if (std::filesystem::is_regular_file(candidate, error)) return candidate;
  }
  return std::nullopt;
}

void readUserSettings(const UserSettingsStore& store, AppSettings& settings) {
  settings.currentFolder = store.readString(kSettingsSection, "CurrentFolder", "");
  settings.ctrlDlgWidth = store.readInteger(kSettingsSection, "CtrlDlgWidth", 560);
  settings.ctrlDlgHeight = store.readInteger(kSettingsSection, "CtrlDlgHeight", 320);
  settings.ctrlDlgTreeWidth = store.readInteger(kSettingsSection, "CtrlDlgTreeWidth", 176);
}

bool writeUserSettings(UserSettingsStore& store, const AppSettings& settings) {
  // Every value is written even when an earlier one failed.
  const std::array<bool, 4> written{
      store.writeString(kSettingsSection, "CurrentFolder", settings.currentFolder),
      store.writeInteger(kSettingsSection, "CtrlDlgWidth", settings.ctrlDlgWidth),
      store.writeInteger(kSettingsSection, "CtrlDlgHeight", settings.ctrlDlgHeight),
      store.writeInteger(kSettingsSection, "CtrlDlgTreeWidth", settings.ctrlDlgTreeWidth),
  };
  return written[0] && written[1] && written[2] && written[3];
}

StoredDeviceIds readDeviceIds(const UserSettingsStore& store) {
  // Stored as 32-bit words; the library takes them unsigned.
  StoredDeviceIds ids;
  ids.inputId = static_cast<std::uint32_t>(store.readInteger(kMidiDeviceSection, "InID", 0));
  ids.outputId = static_cast<std::uint32_t>(store.readInteger(kMidiDeviceSection, "OutID", 0));
  return ids;
}

bool writeDeviceIds(UserSettingsStore& store, const StoredDeviceIds& ids) {
  const bool in = store.writeInteger(kMidiDeviceSection, "InID", static_cast<std::int32_t>(ids.inputId));
  const bool out = store.writeInteger(kMidiDeviceSection, "OutID", static_cast<std::int32_t>(ids.outputId));
  return in && out;
}

}  // namespace quaverly
