// What the fuzz targets share: a reader that hands out the fuzzer's bytes front to
// back (zeros once they run out, so that every input is a complete script), and the
// check that stops a run when an invariant does not hold.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace quaverly::fuzz {

// An invariant that does not hold stops the run with its text, which libFuzzer reports
// together with the input that broke it.
#define FUZZ_CHECK(condition) \
  ((condition)                \
       ? void(0)              \
       : (std::fprintf(stderr, "invariant failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__), std::abort()))

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

  bool empty() const { return rest_.empty(); }
  std::size_t remaining() const { return rest_.size(); }

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const std::uint8_t b = rest_.front();
    rest_ = rest_.subspan(1);
    return b;
  }

  // The next `n` bytes, fewer when the input ends first.
  std::span<const std::uint8_t> take(std::size_t n) {
    const std::size_t k = std::min(n, rest_.size());
    const auto piece = rest_.first(k);
    rest_ = rest_.subspan(k);
    return piece;
  }

 private:
  std::span<const std::uint8_t> rest_;
};

}  // namespace quaverly::fuzz
