// The current instrument from the registry and the language from the system, with
// the Win32 calls themselves: Tonelink.dll needs no Qt on Windows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "app/platform/WindowsText.h"
#include "portlib/CurrentInstrument.h"

namespace tonelink {

namespace {

// Far more than any instrument name; a larger value is not taken for one.
constexpr DWORD kMaxValueBytes = 64 * 1024;

class RegistryKey {
 public:
  RegistryKey(HKEY parent, const wchar_t* path) {
    if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~RegistryKey() {
    if (key_) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool isText(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A string value as stored, up to its first NUL: the stored bytes need not end with
// one, nor come in whole characters.
std::optional<std::wstring> readText(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  // The value may grow between asking its size and reading it; then ask again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!isText(type) || size > kMaxValueBytes) return std::nullopt;
    // Room for every stored byte, rounded up to whole characters, and a closing NUL.
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS || !isText(type)) return std::nullopt;
    return std::wstring(buffer.data(), std::wcslen(buffer.data()));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> systemInstrumentName() {
  const RegistryKey key(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Multimedia\\MIDIMap");
  if (!key.get()) return std::nullopt;
  const auto name = readText(key.get(), L"CurrentInstrument");
  if (!name) return std::nullopt;
  return quaverly::platform::utf8FromWide(*name);
}

bool systemWantsEnglish() {
  // "日本語" in code page 932: the name of Japanese on a Japanese system.
  static constexpr char kJapanese[] = "\x93\xFA\x96\x7B\x8C\xEA";
  char name[64] = {};
  VerLanguageNameA(GetSystemDefaultLangID(), name, sizeof name);
  name[sizeof name - 1] = '\0';
  return std::strcmp(name, kJapanese) != 0;
}

}  // namespace tonelink
