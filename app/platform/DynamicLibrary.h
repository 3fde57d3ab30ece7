// Loading a shared library by path and finding its functions by name: dlopen on
// Linux, LoadLibrary on Windows.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quaverly::platform {

// The platform's file name of the library `stem`: "libStem.so", or "Stem.dll".
std::string sharedLibraryFileName(std::string_view stem);

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { close(); }
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Loads the library at `path`; a bare file name is looked up by the system's own
  // search. False, with the system's reason in error(), when it cannot be loaded.
  bool open(const std::filesystem::path& path);
  // The address of the exported function `name`, or null.
  void* symbol(const char* name) const;
  void close();

  bool isOpen() const { return module_ != nullptr; }
  const std::string& error() const { return error_; }

 private:
  void* module_ = nullptr;
  std::string error_;
};

}  // namespace quaverly::platform
