// quaverly-bench [--data=DIR] [benchmark options]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchData.h"

namespace quaverly::bench {

namespace {
std::string& folder() {
  static std::string value = [] {
    const char* fromEnvironment = std::getenv("QUAVERLY_BENCH_DATA");
    return std::string(fromEnvironment && *fromEnvironment ? fromEnvironment : QUAVERLY_BENCH_DATA_DIR);
  }();
  return value;
}
}  // namespace

const std::string& dataFolder() { return folder(); }
void setDataFolder(std::string value) { folder() = std::move(value); }

void registerSmfBenchmarks();

}  // namespace quaverly::bench

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--data=", 7) == 0)
      quaverly::bench::setDataFolder(argv[i] + 7);
    else
      rest.push_back(argv[i]);
  }
  int restCount = static_cast<int>(rest.size());
  rest.push_back(nullptr);
  quaverly::bench::registerSmfBenchmarks();
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
