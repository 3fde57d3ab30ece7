// quaverly-cli rmdir PATH: deletes an empty folder on the instrument.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& removeFolderCommand();

}  // namespace quaverly::cli
