// quaverly-cli session: many commands over one connection to the instrument.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& sessionCommand();

}  // namespace quaverly::cli
