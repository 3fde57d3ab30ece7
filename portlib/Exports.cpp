// The sixteen entry points of Tonelink. The library instance is made when the shared
// library is loaded and ended when it is unloaded.
#define TONELINK_BUILDING
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "portlib/CurrentInstrument.h"
#include "portlib/Tonelink.h"
#include "portlib/TonelinkLibrary.h"
#include "portlib/system/DefaultBackends.h"
#include "portlib/system/MidiSystem.h"

namespace {

using tonelink::TonelinkLibrary;

// Copies a text into a caller's buffer, always NUL-terminated; false when it does not
// fit whole.
bool copyOut(const std::string& text, char* buffer, unsigned size) {
  if (!buffer || size == 0) return false;
  const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n == text.size();
}

struct LoadedLibrary {
  LoadedLibrary() {
    tonelink::mm::installMidiBackends(tonelink::mm::defaultMidiBackends());
    library = std::make_unique<TonelinkLibrary>();
  }
  ~LoadedLibrary() {
    library.reset();
    tonelink::mm::installMidiBackends({});
  }
  std::unique_ptr<TonelinkLibrary> library;
};

LoadedLibrary loaded;

TonelinkLibrary& lib() { return *loaded.library; }

}  // namespace

extern "C" {

unsigned int _ENTRYcomSetDeviceID(int kind, unsigned int id) { return lib().port(kind).setDeviceId(id); }

unsigned int _ENTRYcomGetDeviceID(int kind) { return lib().port(kind).getDeviceId(); }

unsigned int _ENTRYcomGetErrorText(int kind, char* text, unsigned int size) {
  std::string message;
  const unsigned result = lib().port(kind).getErrorText(message);
  copyOut(message, text, size);
  return result;
}

unsigned int _ENTRYcomGetLastResult(int kind) { return lib().port(kind).getLastResult(); }

int _ENTRYctrlGetSysCurInstrument(char* name, unsigned int size) {
  const auto instrument = tonelink::systemInstrumentName();
  return instrument && copyOut(*instrument, name, size) ? 1 : 0;
}

int _ENTRYctrlSelectDevice(const char* title, const char* inLabel, const char* outLabel) {
  return lib().selectDevice(title, inLabel, outLabel);
}

int _ENTRYinOpen(ReceiveCallback callback, int id) { return lib().inPort().open(callback, id, 0, 50); }

int _ENTRYinOpen2(ReceiveCallback callback, int id, int mode, int idle) {
  return lib().inPort().open(callback, id, mode, idle);
}

int _ENTRYinClose(void) { return lib().inPort().close(); }
int _ENTRYinStart(void) { return lib().inPort().start(); }
int _ENTRYinStop(void) { return lib().inPort().stop(); }

int _ENTRYoutOpen(int id) { return lib().outPort().open(id, false); }
int _ENTRYoutClose(void) { return lib().outPort().close(); }

int _ENTRYoutWrite(const unsigned char* bytes, int length) { return lib().outPort().write(bytes, length); }
int _ENTRYoutDump(const unsigned char* bytes, int length) { return lib().outPort().dump(bytes, length); }

}  // extern "C"

int _ENTRYoutSynchOpen(unsigned int id) { return lib().outPort().open(static_cast<int>(id), true); }
