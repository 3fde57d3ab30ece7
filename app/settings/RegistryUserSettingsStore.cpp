#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "app/platform/WindowsText.h"
#include "app/settings/RegistryUserSettingsStore.h"

namespace quaverly {

namespace {

using platform::utf8FromWide;
using platform::wideFromUtf8;

// True when `type` is one of the set bits of `types`.
bool isOneOf(DWORD type, DWORD types) { return type < 32 && ((types >> type) & 1); }

// Reads one value of the given types; false when the key or value is missing, of
// another type, or larger than `maxBytes`.
bool readValue(const std::string& key, std::string_view name, DWORD types, std::vector<BYTE>& data, DWORD& type,
               std::size_t maxBytes) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wideFromUtf8(key).c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring valueName = wideFromUtf8(name);
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(handle, valueName.c_str(), nullptr, &type, nullptr, &size);
  if (status == ERROR_SUCCESS && isOneOf(type, types) && size <= maxBytes) {
    data.assign(size, 0);
    status = RegQueryValueExW(handle, valueName.c_str(), nullptr, &type, data.data(), &size);
    data.resize(size);
  } else if (status == ERROR_SUCCESS) {
    status = ERROR_INVALID_DATA;
  }
  RegCloseKey(handle);
  return status == ERROR_SUCCESS && isOneOf(type, types);
}

bool writeValue(const std::string& key, std::string_view name, DWORD type, const void* data, DWORD size) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, wideFromUtf8(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LSTATUS status =
      RegSetValueExW(handle, wideFromUtf8(name).c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(handle);
  return status == ERROR_SUCCESS;
}

}  // namespace

RegistryUserSettingsStore::RegistryUserSettingsStore(std::string_view organization, std::string_view application,
                                                     std::string_view program) {
  programKey_ = "Software\\";
  programKey_ += organization;
  programKey_ += '\\';
  programKey_ += application;
  programKey_ += '\\';
  programKey_ += program;
}

std::string RegistryUserSettingsStore::keyOf(std::string_view section) const {
  return programKey_ + '\\' + std::string(section);
}

std::int32_t RegistryUserSettingsStore::readInteger(std::string_view section, std::string_view key,
                                                    std::int32_t defaultValue) const {
  std::vector<BYTE> data;
  DWORD type = 0;
  if (!readValue(keyOf(section), key, 1u << REG_DWORD, data, type, sizeof(DWORD)) || data.size() != sizeof(DWORD)) {
    return defaultValue;
  }
  DWORD value = 0;
  std::memcpy(&value, data.data(), sizeof value);
  return static_cast<std::int32_t>(value);
}

std::string RegistryUserSettingsStore::readString(std::string_view section, std::string_view key,
                                                  std::string_view defaultValue) const {
  std::vector<BYTE> data;
  DWORD type = 0;
  // UTF-16 takes at most two bytes for each byte of UTF-8 the text becomes.
  if (!readValue(keyOf(section), key, (1u << REG_SZ) | (1u << REG_EXPAND_SZ), data, type, 2 * kMaxTextBytes + 2)) {
    return std::string(defaultValue);
  }
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
  // A string value need not end with its NUL, and may hold one before its end.
  text.resize(std::wcslen(text.c_str()));
  std::string utf8 = utf8FromWide(text);
  if (utf8.size() > kMaxTextBytes) return std::string(defaultValue);
  return utf8;
}

bool RegistryUserSettingsStore::writeInteger(std::string_view section, std::string_view key, std::int32_t value) {
  const DWORD word = static_cast<DWORD>(value);
  return writeValue(keyOf(section), key, REG_DWORD, &word, sizeof word);
}

bool RegistryUserSettingsStore::writeString(std::string_view section, std::string_view key, std::string_view value) {
  const std::wstring text = wideFromUtf8(value);
  return writeValue(keyOf(section), key, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::string RegistryUserSettingsStore::location() const { return "HKEY_CURRENT_USER\\" + programKey_; }

std::unique_ptr<UserSettingsStore> openUserSettingsStore() { return std::make_unique<RegistryUserSettingsStore>(); }

}  // namespace quaverly
