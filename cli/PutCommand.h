// quaverly-cli put [--to FOLDER] FILE...: transmits PC files into an instrument folder.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& putCommand();

}  // namespace quaverly::cli
