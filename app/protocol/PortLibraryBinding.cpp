#include "app/protocol/PortLibraryBinding.h"

namespace quaverly::protocol {

namespace {

// Resolves `name` into `target`; false (and the error) when it is missing.
template <typename Fn>
bool resolve(const platform::DynamicLibrary& module, const char* name, Fn& target, std::string& error) {
  target = reinterpret_cast<Fn>(module.symbol(name));
  if (!target) error = std::string("missing entry point ") + name;
  return target != nullptr;
}

// The four functions both directions share.
bool resolveCommon(const platform::DynamicLibrary& module, PortFunctionTable& table, std::string& error) {
  return resolve(module, "_ENTRYcomSetDeviceID", table.setDeviceId, error) &&
         resolve(module, "_ENTRYcomGetDeviceID", table.getDeviceId, error) &&
         resolve(module, "_ENTRYcomGetErrorText", table.getErrorText, error) &&
         resolve(module, "_ENTRYcomGetLastResult", table.getLastResult, error);
}

}  // namespace

std::string portLibraryFileName() { return platform::sharedLibraryFileName("Tonelink"); }

PortLibraryBinding::PortLibraryBinding() {
  input.direction = 1;
  output.direction = 0;
}

PortLibraryBinding::~PortLibraryBinding() { unload(); }

bool PortLibraryBinding::load(const std::filesystem::path& programDirectory) {
  unload();
  // Beside the program first, as the platform's library search does (the build keeps
  // them together), then the program's private folder of an installed tree, then the
  // system's search path.
  for (const std::filesystem::path& candidate :
       {programDirectory / portLibraryFileName(), programDirectory / kInstalledLibraryFolder / portLibraryFileName()}) {
    if (library_.open(candidate)) break;
  }
  if (!library_.isOpen() && !library_.open(portLibraryFileName())) {
    error_ = library_.error();
    return false;
  }
  // In the order of the binding; the first missing name ends it. _ENTRYinOpen and
  // _ENTRYoutSynchOpen are not bound.
  complete_ = resolve(library_, "_ENTRYctrlGetSysCurInstrument", getSysCurInstrument, error_) &&
              resolve(library_, "_ENTRYctrlSelectDevice", selectDevice, error_) &&
              resolveCommon(library_, input, error_) && resolve(library_, "_ENTRYinOpen2", input.open, error_) &&
              resolve(library_, "_ENTRYinClose", input.close, error_) &&
              resolve(library_, "_ENTRYinStart", input.start, error_) &&
              resolve(library_, "_ENTRYinStop", input.stop, error_) && resolveCommon(library_, output, error_) &&
              resolve(library_, "_ENTRYoutOpen", output.open, error_) &&
              resolve(library_, "_ENTRYoutClose", output.close, error_) &&
              resolve(library_, "_ENTRYoutWrite", output.write, error_) &&
              resolve(library_, "_ENTRYoutDump", output.dump, error_);
  return complete_;
}

void PortLibraryBinding::unload() {
  if (!library_.isOpen()) return;
  if (input.close) input.close();
  if (output.close) output.close();
  library_.close();
  complete_ = false;
  getSysCurInstrument = nullptr;
  selectDevice = nullptr;
  input = InputFunctionTable{};
  output = OutputFunctionTable{};
  input.direction = 1;
  output.direction = 0;
}

}  // namespace quaverly::protocol
