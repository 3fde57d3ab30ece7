// quaverly-cli rm PATH...: deletes files on the instrument.
#pragma once

#include "cli/Command.h"

namespace quaverly::cli {

const Command& removeCommand();

}  // namespace quaverly::cli
