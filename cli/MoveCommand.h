// quaverly-cli mv PATH NEWNAME: renames a file or folder on the instrument.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& moveCommand();

}  // namespace quaverly::cli
