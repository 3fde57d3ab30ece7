// The demo songs a new virtual instrument starts with, built into the library from
// resources/demo-songs (made by scripts/make-demo-songs).
#pragma once

#include "instrument/FileMemory.h"

namespace quaverly::instrument {

// Copies the demo songs, with their sub-folders, into an empty drive. A drive that
// already holds anything is left alone. False when a song could not be stored.
bool seedDemoSongsIfEmpty(FileMemory& memory);

}  // namespace quaverly::instrument
