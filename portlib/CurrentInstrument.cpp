#include "portlib/CurrentInstrument.h"

#include <QLocale>
#include <QSettings>

#include <string>

namespace tonelink {

std::optional<std::string> systemInstrumentName() {
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Microsoft"),
                     QStringLiteral("Windows"));
  const QString key = QStringLiteral("CurrentVersion/Multimedia/MIDIMap/CurrentInstrument");
  if (settings.status() != QSettings::NoError || !settings.contains(key)) return std::nullopt;
  const QVariant value = settings.value(key);
  if (!value.canConvert<QString>()) return std::nullopt;
  std::string name = value.toString().toStdString();
  name.resize(std::char_traits<char>::length(name.c_str()));  // the text ends at its NUL
  return name;
}

bool systemWantsEnglish() { return QLocale::system().nativeLanguageName() != QStringLiteral("日本語"); }

}  // namespace tonelink
