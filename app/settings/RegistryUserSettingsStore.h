// The user settings store in the Windows registry: every value lies in the key
// HKEY_CURRENT_USER\Software\<organization>\<application>\<program>\<section>, under
// its key's name; integers as DWORD values, texts as string values.
#pragma once

#include <string>

#include "app/settings/AppSettings.h"

namespace quaverly {

class RegistryUserSettingsStore final : public UserSettingsStore {
 public:
  // A text longer than this is not taken from the registry: it is no folder path the
  // program wrote.
  static constexpr std::size_t kMaxTextBytes = 32 * 1024;

  explicit RegistryUserSettingsStore(std::string_view organization = "VELMAR",
                                     std::string_view application = "Tessitor",
                                     std::string_view program = kProgramName);

  std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const override;
  std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const override;
  bool writeInteger(std::string_view section, std::string_view key, std::int32_t value) override;
  bool writeString(std::string_view section, std::string_view key, std::string_view value) override;
  std::string location() const override;

 private:
  std::string keyOf(std::string_view section) const;

  std::string programKey_;  // Software\<organization>\<application>\<program>
};

}  // namespace quaverly
