#include "app/settings/QtUserSettingsStore.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <limits>

namespace quaverly {

namespace {

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

QtUserSettingsStore::QtUserSettingsStore(std::string_view organization, std::string_view application,
                                         std::string_view program)
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, toQString(organization),
                                            toQString(application))),
      program_(program) {}

QtUserSettingsStore::~QtUserSettingsStore() = default;

std::string QtUserSettingsStore::keyOf(std::string_view section, std::string_view key) const {
  std::string path = program_;
  path += '/';
  path += section;
  path += '/';
  path += key;
  return path;
}

std::int32_t QtUserSettingsStore::readInteger(std::string_view section, std::string_view key,
                                              std::int32_t defaultValue) const {
  const QVariant value = settings_->value(toQString(keyOf(section, key)));
  if (!value.isValid()) return defaultValue;
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  // A 32-bit word, whether it was written signed or unsigned; anything else is no
  // value the program stored.
  if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
      number > static_cast<qlonglong>(std::numeric_limits<std::uint32_t>::max())) {
    return defaultValue;
  }
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
}

std::string QtUserSettingsStore::readString(std::string_view section, std::string_view key,
                                            std::string_view defaultValue) const {
  const QVariant value = settings_->value(toQString(keyOf(section, key)));
  if (!value.isValid() || !value.canConvert<QString>()) return std::string(defaultValue);
  const QByteArray text = value.toString().toUtf8();
  if (static_cast<std::size_t>(text.size()) > kMaxTextBytes) return std::string(defaultValue);
  return std::string(text.constData(), static_cast<std::size_t>(text.size()));
}

bool QtUserSettingsStore::writeInteger(std::string_view section, std::string_view key, std::int32_t value) {
  settings_->setValue(toQString(keyOf(section, key)), value);
  settings_->sync();
  return settings_->status() == QSettings::NoError && settings_->isWritable();
}

bool QtUserSettingsStore::writeString(std::string_view section, std::string_view key, std::string_view value) {
  settings_->setValue(toQString(keyOf(section, key)), toQString(value));
  settings_->sync();
  return settings_->status() == QSettings::NoError && settings_->isWritable();
}

std::string QtUserSettingsStore::location() const { return settings_->fileName().toStdString(); }

std::unique_ptr<UserSettingsStore> openUserSettingsStore() { return std::make_unique<QtUserSettingsStore>(); }

}  // namespace quaverly
