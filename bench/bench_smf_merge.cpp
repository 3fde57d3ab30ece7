// The SMF merge over the files of bench/make-smf-files.py, in memory: the merge alone
// (no file input or output), and the same through the worker thread.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/smf/SmfMerger.h"
#include "bench/BenchData.h"

namespace quaverly::bench {

namespace {

using smf::CSmfMerger;

std::vector<std::uint8_t> load(const std::string& name) {
  std::ifstream in(dataFolder() + "/" + name, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void mergeInMemory(benchmark::State& state, const std::string& name) {
  const std::vector<std::uint8_t> input = load(name);
  if (input.empty()) {
    state.SkipWithError(("no " + name + " in " + dataFolder() + "; run bench/make-smf-files.py").c_str());
    return;
  }
  std::uint32_t outputSize = 0;
  for (auto _ : state) {
    CSmfMerger merger;
    if (!merger.merge(input.data(), static_cast<std::uint32_t>(input.size()))) {
      state.SkipWithError("the merge refused the file");
      return;
    }
    outputSize = merger.outputSize();
    benchmark::DoNotOptimize(merger.output().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
  state.counters["output_bytes"] = outputSize;
}

void mergeOnWorker(benchmark::State& state, const std::string& name) {
  const std::vector<std::uint8_t> input = load(name);
  if (input.empty()) {
    state.SkipWithError(("no " + name + " in " + dataFolder()).c_str());
    return;
  }
  for (auto _ : state) {
    CSmfMerger merger;
    merger.start(1, input.data(), static_cast<std::uint32_t>(input.size()));
    while (!merger.waitFor(std::chrono::seconds(10))) {
    }
    if (merger.status() != CSmfMerger::kSuccess) {
      state.SkipWithError("the merge refused the file");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

}  // namespace

void registerSmfBenchmarks() {
  for (const char* name : {"tracks16.mid", "tracks64-large.mid", "tracks64-ties.mid"}) {
    benchmark::RegisterBenchmark((std::string("SmfMerge/") + name).c_str(), [name](benchmark::State& state) {
      mergeInMemory(state, name);
    })->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("SmfMergeOnWorker/tracks16.mid",
                               [](benchmark::State& state) { mergeOnWorker(state, "tracks16.mid"); })
      ->Unit(benchmark::kMicrosecond)
      ->UseRealTime();  // the work happens on another thread
}

}  // namespace quaverly::bench
