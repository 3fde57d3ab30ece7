// The system's current MIDI instrument: the value "CurrentInstrument" under the key
// Software\Microsoft\Windows\CurrentVersion\Multimedia\MIDIMap of the current user.
// Outside Windows the same key path lives in Qt's native settings file of the user,
// ~/.config/Microsoft/Windows.conf (section [CurrentVersion], key
// Multimedia\MIDIMap\CurrentInstrument).
#pragma once

#include <optional>
#include <string>

namespace tonelink {

// The name, UTF-8; nothing when the key or the value is missing.
std::optional<std::string> systemInstrumentName();

// True when the library speaks English: the system's language, named in its own
// words, is not "日本語".
bool systemWantsEnglish();

}  // namespace tonelink
