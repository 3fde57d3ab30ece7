// quaverly-cli convert IN.mid OUT.mid: format 1 Standard MIDI File to format 0.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& convertCommand();

}  // namespace quaverly::cli
