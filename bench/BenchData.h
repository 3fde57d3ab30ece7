// The folder of the benchmark input files, chosen on the command line.
#pragma once

#include <string>

namespace quaverly::bench {

// --data=DIR, else $QUAVERLY_BENCH_DATA, else bench/data in the source tree.
const std::string& dataFolder();
void setDataFolder(std::string folder);

}  // namespace quaverly::bench
