// The order in which probe tries the pairs of devices.
#include <gtest/gtest.h>

#include "cli/PortPairs.h"

namespace quaverly::cli {
namespace {

struct PairCase {
  const char* description;
  std::vector<std::string> inputs;
  std::vector<std::string> outputs;
  std::uint32_t inputCount;
  std::uint32_t outputCount;
  std::vector<PortPair> expected;
};

TEST(PortPairsTest, PairsOfTheSameNameComeFirst) {
  const PairCase cases[] = {
      {"the instrument's own pair first",
       {"Through", "Synth"},
       {"Synth", "Through"},
       2,
       2,
       {{0, 1}, {1, 0}, {0, 0}, {1, 1}}},
      {"no names match: input, then output order", {"A"}, {"B", "C"}, 1, 2, {{0, 0}, {0, 1}}},
      {"a device without a name matches nothing", {"X"}, {}, 1, 1, {{0, 0}}},
      {"no devices in one direction", {"X"}, {}, 1, 0, {}},
  };
  for (const PairCase& c : cases) {
    EXPECT_EQ(portPairsToProbe(c.inputs, c.outputs, c.inputCount, c.outputCount), c.expected) << c.description;
  }
}

}  // namespace
}  // namespace quaverly::cli
