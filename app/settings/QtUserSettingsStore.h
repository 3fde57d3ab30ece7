// The user settings store over QSettings in the platform's native format: the
// registry on Windows (HKEY_CURRENT_USER\Software\<organization>\<application>),
// an INI file elsewhere ($XDG_CONFIG_HOME/<organization>/<application>.conf). Every
// value lies under "<program>/<section>/<key>", the program's own key as the
// registry keeps it.
#pragma once

#include <memory>
#include <string>

#include "app/settings/AppSettings.h"

class QSettings;

namespace quaverly {

class QtUserSettingsStore final : public UserSettingsStore {
 public:
  // A text longer than this is not taken from the store: it is no folder path the
  // program wrote, and the store's file is untrusted.
  static constexpr std::size_t kMaxTextBytes = 32 * 1024;

  QtUserSettingsStore(std::string_view organization = "VELMAR", std::string_view application = "Tessitor",
                      std::string_view program = kProgramName);
  ~QtUserSettingsStore() override;
  QtUserSettingsStore(const QtUserSettingsStore&) = delete;
  QtUserSettingsStore& operator=(const QtUserSettingsStore&) = delete;

  std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const override;
  std::string readString(std::string_view section, std::string_view key, std::string_view defaultValue) const override;
  bool writeInteger(std::string_view section, std::string_view key, std::int32_t value) override;
  bool writeString(std::string_view section, std::string_view key, std::string_view value) override;

  std::string location() const override;

 private:
  std::string keyOf(std::string_view section, std::string_view key) const;

  std::unique_ptr<QSettings> settings_;
  std::string program_;
};

}  // namespace quaverly
