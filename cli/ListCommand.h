// quaverly-cli ls [FOLDER]: a folder of the instrument, folders first.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& listCommand();

}  // namespace quaverly::cli
