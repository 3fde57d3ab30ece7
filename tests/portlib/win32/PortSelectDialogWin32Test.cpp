// The port selection dialog as Windows shows it, run under wine (which shows windows
// only on an X display: from xvfb-run, say; without one the test skips). A script
// reads the dialog and closes it from a timer that the dialog's message loop serves.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "portlib/PortSelection.h"
#include "portlib/win32/TonelinkResource.h"

namespace tonelink::test {
void installDialogTestDevices();  // DialogTestDevices.cpp
}

namespace {

std::function<void(HWND)>* pendingScript = nullptr;

void CALLBACK onTick(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  const auto findDialog = [](HWND window, LPARAM found) -> BOOL {
    wchar_t name[8] = {};
    GetClassNameW(window, name, 8);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(window)) *reinterpret_cast<HWND*>(found) = window;
    return TRUE;
  };
  EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog || !pendingScript) return;
  KillTimer(nullptr, timer);
  (*std::exchange(pendingScript, nullptr))(dialog);
}

std::wstring textOf(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

TEST(PortSelectDialogTest, ShowsTheDevicesAndReturnsThePositionsOnlyAfterOk) {
  const HWND owner = CreateWindowExW(0, L"Static", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                     nullptr, nullptr, nullptr);
  if (!owner) GTEST_SKIP() << "no display";
  struct Run {
    const char* title;
    const char* inLabel;
    const char* outLabel;
    bool english;
    int closeWith;                    // IDOK or IDCANCEL: a button; 0: the close box
    std::vector<std::wstring> shown;  // caption, input label, output label, Cancel
  };
  const Run runs[] = {
      {nullptr, nullptr, nullptr, false, IDOK, {L"MIDIポート設定", L"MIDI IN Port", L"MIDI OUT Port", L"ｷｬﾝｾﾙ"}},
      {"", "", "", true, IDCANCEL, {L"MIDIポート設定", L"MIDI IN Port", L"MIDI OUT Port", L"Cancel"}},
      {"MIDIﾎﾟｰﾄの設定", "入力", "", false, 0, {L"MIDIﾎﾟｰﾄの設定", L"入力", L"MIDI OUT Port", L"ｷｬﾝｾﾙ"}},
  };
  for (const Run& run : runs) {
    SCOPED_TRACE(testing::Message() << "run " << &run - runs);
    SetActiveWindow(owner);
    tonelink::test::installDialogTestDevices();
    std::vector<std::wstring> shown, items;
    std::vector<LRESULT> selected;
    HWND ownedBy = nullptr, icon = nullptr;
    std::function<void(HWND)> script = [&](HWND dialog) {
      for (HWND window : {dialog, GetDlgItem(dialog, TONELINK_IDC_IN_LABEL), GetDlgItem(dialog, TONELINK_IDC_OUT_LABEL),
                          GetDlgItem(dialog, IDCANCEL)}) {
        shown.push_back(textOf(window));
      }
      for (int id : {TONELINK_IDC_IN_LIST, TONELINK_IDC_OUT_LIST}) {
        wchar_t item[64] = {};
        for (WPARAM i = 0; SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item)) > 0; ++i) {
          items.push_back(item);
        }
        selected.push_back(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
      }
      ownedBy = GetWindow(dialog, GW_OWNER);
      const HWND iconControl = GetWindow(GetDlgItem(dialog, TONELINK_IDC_OUT_LIST), GW_HWNDNEXT);  // the last one
      icon = reinterpret_cast<HWND>(SendMessageW(iconControl, STM_GETICON, 0, 0));
      SendDlgItemMessageW(dialog, TONELINK_IDC_OUT_LIST, CB_SETCURSEL, 0, 0);
      if (run.closeWith) {
        SendDlgItemMessageW(dialog, run.closeWith, BM_CLICK, 0, 0);
      } else {
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    };
    pendingScript = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &onTick);
    // Input id 2 is past the end of its list (In B is left out): nothing is selected there.
    unsigned in = 2;
    unsigned out = 1;
    const bool accepted = tonelink::runPortSelectDialog(run.title, run.inLabel, run.outLabel, run.english, in, out);
    KillTimer(nullptr, timer);
    ASSERT_EQ(std::exchange(pendingScript, nullptr), nullptr) << "the dialog was not shown";
    EXPECT_EQ(shown, run.shown);
    EXPECT_EQ(items, (std::vector<std::wstring>{L"In A", L"In C", L"Out 1", L"出力 2"}));
    EXPECT_EQ(selected, (std::vector<LRESULT>{CB_ERR, 1}));
    EXPECT_EQ(ownedBy, owner);
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(accepted, run.closeWith == IDOK);
    EXPECT_EQ(std::pair(in, out), accepted ? std::pair(0u, 0u) : std::pair(2u, 1u));
  }
  DestroyWindow(owner);
}

}  // namespace
