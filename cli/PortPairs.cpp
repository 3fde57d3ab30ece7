#include "cli/PortPairs.h"

namespace quaverly::cli {

std::vector<PortPair> portPairsToProbe(const std::vector<std::string>& inputNames,
                                       const std::vector<std::string>& outputNames, std::uint32_t inputCount,
                                       std::uint32_t outputCount) {
  const auto sameName = [&](std::uint32_t in, std::uint32_t out) {
    return in < inputNames.size() && out < outputNames.size() && inputNames[in] == outputNames[out];
  };
  std::vector<PortPair> matching;
  std::vector<PortPair> others;
  for (std::uint32_t in = 0; in < inputCount; ++in) {
    for (std::uint32_t out = 0; out < outputCount; ++out) {
      (sameName(in, out) ? matching : others).emplace_back(in, out);
    }
  }
  matching.insert(matching.end(), others.begin(), others.end());
  return matching;
}

}  // namespace quaverly::cli
