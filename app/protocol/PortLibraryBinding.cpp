#include "app/protocol/PortLibraryBinding.h"

#include <dlfcn.h>
#include <execinfo.h>

namespace quaverly::protocol {

namespace {

// Resolves `name` into `target`; false (and the error) when it is missing.
template <typename Fn>
bool resolve(void* module, const char* name, Fn& target, std::string& error) {
  target = reinterpret_cast<Fn>(dlsym(module, name));
  if (!target) error = std::string("missing entry point ") + name;
  return target != nullptr;
}

// The four functions both directions share.
bool resolveCommon(void* module, PortFunctionTable& table, std::string& error) {
  return resolve(module, "_ENTRYcomSetDeviceID", table.setDeviceId, error) &&
         resolve(module, "_ENTRYcomGetDeviceID", table.getDeviceId, error) &&
         resolve(module, "_ENTRYcomGetErrorText", table.getErrorText, error) &&
         resolve(module, "_ENTRYcomGetLastResult", table.getLastResult, error);
}

// The library starts its MIDI backends while it is being loaded, and one of them
// (the JACK client) starts a thread there that ends with pthread_exit. The first
// pthread_exit in a process makes glibc load its unwinder (libgcc_s) with dlopen,
// which waits for the loader lock that our dlopen of the library holds, so the load
// would never return. backtrace() has glibc load the unwinder, once, beforehand.
void loadThreadUnwinder() {
  static const bool loaded = [] {
    void* frame = nullptr;
    return backtrace(&frame, 1) >= 0;
  }();
  (void)loaded;
}

}  // namespace

const char* portLibraryFileName() { return "libTonelink.so"; }

PortLibraryBinding::PortLibraryBinding() {
  input.direction = 1;
  output.direction = 0;
}

PortLibraryBinding::~PortLibraryBinding() { unload(); }

bool PortLibraryBinding::load(const std::filesystem::path& programDirectory) {
  unload();
  loadThreadUnwinder();
  // Beside the program first, as the platform's library search does (the build keeps
  // them together), then the program's private folder of an installed tree, then the
  // system's search path.
  for (const std::filesystem::path& candidate :
       {programDirectory / portLibraryFileName(),
        programDirectory / kInstalledLibraryFolder / portLibraryFileName()}) {
    module_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_) break;
  }
  if (!module_) module_ = dlopen(portLibraryFileName(), RTLD_NOW | RTLD_LOCAL);
  if (!module_) {
    const char* why = dlerror();
    error_ = why ? why : "cannot load the port library";
    return false;
  }
  // In the order of the binding; the first missing name ends it. _ENTRYinOpen and
  // _ENTRYoutSynchOpen are not bound.
  complete_ =
      resolve(module_, "_ENTRYctrlGetSysCurInstrument", getSysCurInstrument, error_) &&
      resolve(module_, "_ENTRYctrlSelectDevice", selectDevice, error_) && resolveCommon(module_, input, error_) &&
      resolve(module_, "_ENTRYinOpen2", input.open, error_) && resolve(module_, "_ENTRYinClose", input.close, error_) &&
      resolve(module_, "_ENTRYinStart", input.start, error_) && resolve(module_, "_ENTRYinStop", input.stop, error_) &&
      resolveCommon(module_, output, error_) && resolve(module_, "_ENTRYoutOpen", output.open, error_) &&
      resolve(module_, "_ENTRYoutClose", output.close, error_) &&
      resolve(module_, "_ENTRYoutWrite", output.write, error_) &&
      resolve(module_, "_ENTRYoutDump", output.dump, error_);
  return complete_;
}

void PortLibraryBinding::unload() {
  if (!module_) return;
  if (input.close) input.close();
  if (output.close) output.close();
  dlclose(module_);
  module_ = nullptr;
  complete_ = false;
  getSysCurInstrument = nullptr;
  selectDevice = nullptr;
  input = InputFunctionTable{};
  output = OutputFunctionTable{};
  input.direction = 1;
  output.direction = 0;
}

}  // namespace quaverly::protocol
