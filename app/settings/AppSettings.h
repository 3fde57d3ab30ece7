// The program's settings: the transfer values read from the INI file beside the
// program, and the user's values kept in the per-user settings store (the registry
// key Software\VELMAR\Tessitor\Quaverly on Windows, its QSettings equivalent
// elsewhere).
//
// Nothing here needs a GUI; the store is an interface so that the program, the
// command line and the tests can each supply their own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/settings/IniFile.h"

namespace quaverly {

struct AppSettings {
  // INI file, section "Transmit"; read at start-up, never written.
  std::int32_t intervalTimeMs = 100;     // "IntervalTime(msec)": pause after each burst
  std::int32_t intervalByteCount = 256;  // "IntervalByteCount": burst size in bytes
  std::int32_t convertMode = 3;          // "ConvertMode": 3 never, 1 always, else ask
  // Pairs (description, pattern) for the Receive dialog's file-type filter: element
  // 2k is the description and 2k+1 the pattern of entry k.
  std::vector<std::string> fileTypes;

  // User settings, section "Settings"; read at start-up, written at exit.
  std::string currentFolder;
  std::int32_t ctrlDlgWidth = 560;
  std::int32_t ctrlDlgHeight = 320;
  std::int32_t ctrlDlgTreeWidth = 176;  // carried only: read and written back unchanged

  // For the run only, never stored: the instrument folder the Control or the Receive
  // and Transmit dialog showed last (an instrument path such as 0:\POPS; empty at
  // start: the drive).
  std::string currentInstrumentFolder;
  // For the run only: the file type (1-based entry of fileTypes) last chosen in the
  // Receive and Transmit dialog; 0 before the first.
  std::int32_t fileTypeIndex = 0;
};

// The file-type entries read from the INI file are capped: a count in the millions
// would otherwise fill memory with empty texts. More entries than this are ignored.
inline constexpr std::int32_t kMaxFileTypeEntries = 256;

// Reads the "Transmit" section: the three integers with their defaults, then, when
// "FileTypeCount" is at least 1, the keys "FileType1" ... "FileType<count>" (no more
// than kMaxFileTypeEntries), each split at the first occurrence of the separator,
// the first character of "FileTypeSeparate" (default ";"): the description is the
// text before it, the pattern the text after it (further separators included).
// Without the separator the whole value is the description and the pattern is
// empty; a missing or empty value gives two empty texts. A character is a whole
// UTF-8 sequence; an empty "FileTypeSeparate" means that nothing is split.
// The other fields keep their defaults.
AppSettings readTransferSettings(const IniFile& ini);

// Splits one file-type value at the first occurrence of the separator's first
// character, as readTransferSettings does: {description, pattern}.
std::pair<std::string, std::string> splitFileType(std::string_view value, std::string_view separatorText);

// ---- where the INI file lies ----------------------------------------------------

// The program whose settings are read: the GUI program and the command line share
// the settings of "Quaverly".
inline constexpr std::string_view kProgramName = "Quaverly";

// Looks an environment variable up; nothing when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;
// The process environment.
std::optional<std::string> processEnvironment(const char* name);

// The places the INI file is looked for, in order: "<program>.ini" beside the
// program (the name in its own spelling, in lower case, and with an upper-case
// extension), then "VELMAR/<program>.ini" in $XDG_CONFIG_HOME (default ~/.config)
// and in each folder of $XDG_CONFIG_DIRS (default /etc/xdg). Relative XDG folders
// are ignored, as the XDG rules say.
std::vector<std::filesystem::path> iniFileCandidates(const std::filesystem::path& programDirectory,
                                                     std::string_view programName = kProgramName,
                                                     const EnvironmentLookup& environment = processEnvironment);

// The first candidate that is a regular file, or nothing.
std::optional<std::filesystem::path> locateIniFile(const std::filesystem::path& programDirectory,
                                                   std::string_view programName = kProgramName,
                                                   const EnvironmentLookup& environment = processEnvironment);

// ---- the user settings store ---------------------------------------------------------

// The per-user store of the program's settings, addressed by section and key within
// the program's own key. Integers are 32-bit, texts UTF-8. A read gives the default
// when the value is missing or cannot be read as the asked type; a write reports
// whether it was stored.
class UserSettingsStore {
 public:
  virtual ~UserSettingsStore() = default;
  virtual std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const = 0;
  virtual std::string readString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const = 0;
  virtual bool writeInteger(std::string_view section, std::string_view key, std::int32_t value) = 0;
  virtual bool writeString(std::string_view section, std::string_view key, std::string_view value) = 0;
  // Where the values are kept (a file path, or the registry key), for diagnostics.
  virtual std::string location() const { return {}; }
};

// The program's own store on this platform, in the key VELMAR/Tessitor/<program> of
// the current user's software: the registry on Windows, QSettings' file of that name
// elsewhere.
std::unique_ptr<UserSettingsStore> openUserSettingsStore();

// Section "Settings": "CurrentFolder", "CtrlDlgWidth", "CtrlDlgHeight",
// "CtrlDlgTreeWidth" into `settings`, each with its default when missing.
void readUserSettings(const UserSettingsStore& store, AppSettings& settings);
// Writes the same four values; false when any of them could not be stored.
bool writeUserSettings(UserSettingsStore& store, const AppSettings& settings);

// The MIDI devices chosen last, section "MidiDevice": "InID" and "OutID", default 0.
// They are handed to the port library at start-up and not kept in AppSettings.
struct StoredDeviceIds {
  std::uint32_t inputId = 0;
  std::uint32_t outputId = 0;
};
StoredDeviceIds readDeviceIds(const UserSettingsStore& store);
bool writeDeviceIds(UserSettingsStore& store, const StoredDeviceIds& ids);

}  // namespace quaverly
