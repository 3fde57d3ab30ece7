// Which instrument files a file type of the INI file shows: the pattern's extension
// (after its first full stop) compared with the file's (after its last), without
// regard to case, "?" matching any one character and "*" cutting both extensions
// where it stands. "*.MID" shows SONG.MID and song.mid but not SONG.MIDI or SONG;
// "*.M*" shows every file whose extension begins with M; "*.*" shows every file.
#pragma once

#include <string_view>

namespace quaverly {

// True when `fileName` passes `pattern`. An empty pattern, or one without a full
// stop, passes every file. Several patterns separated by ";" (as "*.mid;*.kar")
// pass a file that any one of them passes.
bool passesTypeFilter(std::string_view pattern, std::string_view fileName);

}  // namespace quaverly
