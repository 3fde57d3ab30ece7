// The fake port library (see FakeTonelink.h). Built twice: complete, and without
// its last entry point (_ENTRYoutDump) when FAKE_TONELINK_INCOMPLETE is defined.
#include "tests/app/shell_app/FakeTonelink.h"

#include "portlib/Tonelink.h"

namespace {

FakeTonelinkState& state() {
  static FakeTonelinkState instance;
  return instance;
}

}  // namespace

extern "C" {

TONELINK_API FakeTonelinkState* fakeTonelinkState() { return &state(); }

TONELINK_API unsigned int _ENTRYcomSetDeviceID(int kind, unsigned int id) {
  state().setDeviceIdCalls.emplace_back(kind, id);
  unsigned& target = kind == 1 ? state().inputId : state().outputId;
  const unsigned previous = target;
  target = id;
  return previous;
}

TONELINK_API unsigned int _ENTRYcomGetDeviceID(int kind) { return kind == 1 ? state().inputId : state().outputId; }

TONELINK_API unsigned int _ENTRYcomGetErrorText(int, char* text, unsigned int size) {
  if (size > 0) text[0] = '\0';
  return 0;
}

TONELINK_API unsigned int _ENTRYcomGetLastResult(int) { return 0; }

TONELINK_API int _ENTRYctrlGetSysCurInstrument(char*, unsigned int) { return 0; }

TONELINK_API int _ENTRYctrlSelectDevice(const char* title, const char*, const char*) {
  ++state().selectCalls;
  state().selectTitle = title ? title : "";
  if (state().selectAccepts) {
    state().inputId = state().selectInputId;
    state().outputId = state().selectOutputId;
  }
  return 1;
}

TONELINK_API int _ENTRYinOpen(ReceiveCallback, int) { return 0; }

TONELINK_API int _ENTRYinOpen2(ReceiveCallback, int, int, int) {
  ++state().inOpenCalls;
  return state().inOpenResult;
}

TONELINK_API int _ENTRYinClose(void) {
  ++state().inCloseCalls;
  return 1;
}

TONELINK_API int _ENTRYinStart(void) { return 1; }
TONELINK_API int _ENTRYinStop(void) { return 1; }
TONELINK_API int _ENTRYoutOpen(int) { return state().outOpenResult; }

TONELINK_API int _ENTRYoutClose(void) {
  ++state().outCloseCalls;
  return 1;
}

TONELINK_API int _ENTRYoutWrite(const unsigned char*, int) { return 1; }

#if !defined(FAKE_TONELINK_INCOMPLETE)
TONELINK_API int _ENTRYoutDump(const unsigned char*, int) { return 1; }
#endif

}  // extern "C"
