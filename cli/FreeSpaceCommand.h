// quaverly-cli df: the free memory of the instrument.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& freeSpaceCommand();

}  // namespace quaverly::cli
