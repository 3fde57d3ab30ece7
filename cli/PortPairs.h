// The order in which `probe` tries the pairs of an input and an output device: the
// pairs whose two names are the same first (an instrument's own port usually has one
// name both ways), then every other pair, each group by input, then output index.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace quaverly::cli {

using PortPair = std::pair<std::uint32_t, std::uint32_t>;  // input index, output index

// Every pair of the `inputCount` inputs and `outputCount` outputs. A device beyond
// its list of names has no name and matches nothing.
std::vector<PortPair> portPairsToProbe(const std::vector<std::string>& inputNames,
                                       const std::vector<std::string>& outputNames, std::uint32_t inputCount,
                                       std::uint32_t outputCount);

}  // namespace quaverly::cli
