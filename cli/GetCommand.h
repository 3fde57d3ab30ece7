// quaverly-cli get [--to FOLDER] PATH...: receives instrument files into a PC folder.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& getCommand();

}  // namespace quaverly::cli
