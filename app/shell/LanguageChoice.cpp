#include "app/shell/LanguageChoice.h"

#include "app/messages/UiStrings.h"

namespace quaverly {

unsigned systemLanguageId(const QLocale& locale) {
  return locale.language() == QLocale::Japanese ? kJapaneseLocaleId : 0;
}

std::optional<Language> forcedLanguage(const QStringList& arguments, const EnvironmentLookup& environment) {
  const QString option = QStringLiteral("--language");
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == option && i + 1 < arguments.size()) return parseLanguageCode(arguments[i + 1].toStdString());
    if (argument.startsWith(option + u'=')) return parseLanguageCode(argument.mid(option.size() + 1).toStdString());
  }
  if (const auto value = environment("QUAVERLY_LANGUAGE")) return parseLanguageCode(*value);
  return std::nullopt;
}

}  // namespace quaverly
