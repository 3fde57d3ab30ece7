// The program's binding of the Tonelink port library: loaded by file name, every
// entry point resolved by its exact name into one table per direction.
#pragma once

#include <filesystem>
#include <string>

#include "app/platform/DynamicLibrary.h"
#include "portlib/Tonelink.h"

namespace quaverly::protocol {

// What both directions share: the direction value passed as the first argument of
// the four common functions, and those functions.
struct PortFunctionTable {
  int direction = 0;
  TonelinkSetDeviceIdFn setDeviceId = nullptr;
  TonelinkGetDeviceIdFn getDeviceId = nullptr;
  TonelinkGetErrorTextFn getErrorText = nullptr;
  TonelinkGetLastResultFn getLastResult = nullptr;
};

struct InputFunctionTable : PortFunctionTable {
  TonelinkInOpen2Fn open = nullptr;
  TonelinkVoidFn close = nullptr;
  TonelinkVoidFn start = nullptr;
  TonelinkVoidFn stop = nullptr;
};

struct OutputFunctionTable : PortFunctionTable {
  TonelinkOutOpenFn open = nullptr;
  TonelinkVoidFn close = nullptr;
  TonelinkOutBytesFn write = nullptr;
  TonelinkOutBytesFn dump = nullptr;
};

class PortLibraryBinding {
 public:
  PortLibraryBinding();
  ~PortLibraryBinding();
  PortLibraryBinding(const PortLibraryBinding&) = delete;
  PortLibraryBinding& operator=(const PortLibraryBinding&) = delete;

  // Loads the library (beside the program first, then from kInstalledLibraryFolder,
  // then by the system's search) and resolves _ENTRYctrlGetSysCurInstrument,
  // _ENTRYctrlSelectDevice, then the input table and the output table in order,
  // stopping at the first missing name. False when the library is missing or
  // incomplete; a library that loaded stays loaded until unload().
  bool load(const std::filesystem::path& programDirectory);
  // Closes both ports (where resolved) and unloads the library.
  void unload();

  bool isLoaded() const { return library_.isOpen(); }
  bool isComplete() const { return complete_; }
  // Why load() failed, for a diagnostic line.
  const std::string& error() const { return error_; }

  TonelinkGetSysCurInstrumentFn getSysCurInstrument = nullptr;
  TonelinkSelectDeviceFn selectDevice = nullptr;
  InputFunctionTable input;
  OutputFunctionTable output;

 private:
  platform::DynamicLibrary library_;
  bool complete_ = false;
  std::string error_;
};

// Where an installed tree keeps the library, relative to the program's folder: the
// program's private library folder (bin/../lib/quaverly).
inline constexpr const char* kInstalledLibraryFolder = "../lib/quaverly";

// The library's file name on this platform: "libTonelink.so" ("Tonelink.dll" on Windows).
std::string portLibraryFileName();

}  // namespace quaverly::protocol
