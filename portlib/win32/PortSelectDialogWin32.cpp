// The port selection dialog on Windows: dialog resource 133 of the library's own module,
// shown with the dialog manager. Qt-free, so that Tonelink.dll needs no Qt there.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/platform/WindowsText.h"
#include "portlib/PortSelection.h"
#include "portlib/win32/MidiDeviceNames.h"
#include "portlib/win32/TonelinkResource.h"

namespace tonelink {

namespace {

using quaverly::platform::wideFromUtf8;

struct DialogState {
  const char* title;
  const char* inLabel;
  const char* outLabel;
  bool englishMode;
  unsigned inDeviceId;
  unsigned outDeviceId;
  // Read when OK closes the dialog.
  unsigned inPosition = 0;
  unsigned outPosition = 0;
};

bool isEmpty(const char* text) { return !text || !*text; }

// Fills a list in device order and selects the current device's position; an id past
// the end of the list leaves nothing selected.
void fillList(HWND dialog, int listId, const std::vector<std::string>& names, unsigned currentId) {
  for (const std::string& name : names) {
    const std::wstring text = wideFromUtf8(name);
    SendDlgItemMessageW(dialog, listId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  const WPARAM selection = currentId < names.size() ? currentId : static_cast<WPARAM>(-1);
  SendDlgItemMessageW(dialog, listId, CB_SETCURSEL, selection, 0);
}

// A list's selected position; no selection counts as 0.
unsigned selectedPosition(HWND dialog, int listId) {
  const LRESULT index = SendDlgItemMessageW(dialog, listId, CB_GETCURSEL, 0, 0);
  return index < 0 ? 0u : static_cast<unsigned>(index);
}

// The module this code is linked into (Tonelink.dll, or a test program), which holds
// the dialog's resources.
HMODULE ownModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ownModule), &module);
  return module;
}

void initDialog(HWND dialog, const DialogState& state) {
  if (state.englishMode) SetDlgItemTextW(dialog, IDCANCEL, L"Cancel");
  if (!isEmpty(state.title)) SetWindowTextW(dialog, wideFromUtf8(state.title).c_str());
  if (!isEmpty(state.inLabel)) SetDlgItemTextW(dialog, TONELINK_IDC_IN_LABEL, wideFromUtf8(state.inLabel).c_str());
  if (!isEmpty(state.outLabel)) {
    SetDlgItemTextW(dialog, TONELINK_IDC_OUT_LABEL, wideFromUtf8(state.outLabel).c_str());
  }
  fillList(dialog, TONELINK_IDC_IN_LIST, midiInputNames(), state.inDeviceId);
  fillList(dialog, TONELINK_IDC_OUT_LIST, midiOutputNames(), state.outDeviceId);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      initDialog(dialog, *reinterpret_cast<const DialogState*>(lParam));
      return TRUE;  // the focus goes to the first control, OK
    case WM_COMMAND: {
      auto* state = reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
      // Enter and the OK button come as IDOK; Esc, the close box and Cancel as IDCANCEL.
      if (LOWORD(wParam) == IDOK && state) {
        state->inPosition = selectedPosition(dialog, TONELINK_IDC_IN_LIST);
        state->outPosition = selectedPosition(dialog, TONELINK_IDC_OUT_LIST);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace

bool runPortSelectDialog(const char* title, const char* inLabel, const char* outLabel, bool englishMode,
                         unsigned& inDeviceId, unsigned& outDeviceId) {
  DialogState state{title, inLabel, outLabel, englishMode, inDeviceId, outDeviceId};
  // Modal to the calling thread's active window, which it disables while it is open.
  const INT_PTR result = DialogBoxParamW(ownModule(), MAKEINTRESOURCEW(TONELINK_IDD_PORTSELECT), GetActiveWindow(),
                                         &dialogProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return false;
  inDeviceId = state.inPosition;
  outDeviceId = state.outPosition;
  return true;
}

}  // namespace tonelink
