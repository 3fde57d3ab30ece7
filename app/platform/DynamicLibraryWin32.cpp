#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "app/platform/DynamicLibrary.h"
#include "app/platform/WindowsText.h"

namespace quaverly::platform {

std::string sharedLibraryFileName(std::string_view stem) { return std::string(stem) + ".dll"; }

bool DynamicLibrary::open(const std::filesystem::path& path) {
  close();
  // No error box of the system for a missing library or one of its dependencies:
  // the caller reports the failure itself.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  module_ = reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
  const DWORD code = GetLastError();
  SetErrorMode(previousMode);
  if (!module_) error_ = systemErrorText(code);
  return module_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const {
  return module_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module_), name)) : nullptr;
}

void DynamicLibrary::close() {
  if (module_) FreeLibrary(static_cast<HMODULE>(module_));
  module_ = nullptr;
}

}  // namespace quaverly::platform
