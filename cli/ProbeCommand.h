// quaverly-cli probe [--store]: finds which ports and device number the instrument
// answers on, without changing anything on it.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& probeCommand();

}  // namespace quaverly::cli
