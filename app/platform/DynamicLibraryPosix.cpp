#include <dlfcn.h>
#include <execinfo.h>

#include "app/platform/DynamicLibrary.h"

namespace quaverly::platform {

namespace {

// A library may start a thread while it is being loaded that ends with pthread_exit
// (Tonelink's JACK client does). The first pthread_exit in a process makes glibc load
// its unwinder (libgcc_s) with dlopen, which waits for the loader lock that our dlopen
// holds, so the load would never return. backtrace() has glibc load the unwinder,
// once, beforehand.
void loadThreadUnwinder() {
  static const bool loaded = [] {
    void* frame = nullptr;
    return backtrace(&frame, 1) >= 0;
  }();
  (void)loaded;
}

}  // namespace

std::string sharedLibraryFileName(std::string_view stem) { return "lib" + std::string(stem) + ".so"; }

bool DynamicLibrary::open(const std::filesystem::path& path) {
  close();
  loadThreadUnwinder();
  module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module_) {
    const char* why = dlerror();
    error_ = why ? why : "cannot load " + path.string();
  }
  return module_ != nullptr;
}

void* DynamicLibrary::symbol(const char* name) const { return module_ ? dlsym(module_, name) : nullptr; }

void DynamicLibrary::close() {
  if (module_) dlclose(module_);
  module_ = nullptr;
}

}  // namespace quaverly::platform
