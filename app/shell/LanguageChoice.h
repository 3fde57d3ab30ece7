// The interface language of a run: chosen once at start-up from the system's
// language, unless the command line or the environment names one (for trying the
// other language, and for tests and screenshots).
#pragma once

#include <QLocale>
#include <QStringList>

#include <optional>
#include <string_view>

#include "app/messages/MessageCatalogue.h"
#include "app/settings/AppSettings.h"

namespace quaverly {

// The system language id of `locale` as the interface choice sees it:
// kJapaneseLocaleId for Japanese, 0 (language neutral) for every other language.
unsigned systemLanguageId(const QLocale& locale);

// The language named by "--language ja|en" (or "--language=ja|en") in `arguments`,
// else by the environment variable QUAVERLY_LANGUAGE ("ja" or "en"); nothing when
// neither names one. A value that is neither "ja" nor "en" is ignored.
std::optional<Language> forcedLanguage(const QStringList& arguments,
                                       const EnvironmentLookup& environment = processEnvironment);

}  // namespace quaverly
