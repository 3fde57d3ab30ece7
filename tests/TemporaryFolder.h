// A new, empty folder under the system's temporary folder, for one test, on every
// platform (the C library's mkdtemp is not on Windows).
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quaverly::test {

inline std::filesystem::path makeTemporaryFolder(std::string_view prefix) {
  static std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path folder = base / (std::string(prefix) + "-" + std::to_string(random() % 1000000000));
    std::error_code error;
    // True only when this call made it: another test's folder is never taken over.
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
  throw std::runtime_error("cannot make a temporary folder");
}

}  // namespace quaverly::test
