// quaverly-cli ports: the MIDI input and output devices with their indices.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& portsCommand();

}  // namespace quaverly::cli
