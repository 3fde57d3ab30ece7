// quaverly-cli mkdir PATH: makes a folder on the instrument.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& makeFolderCommand();

}  // namespace quaverly::cli
