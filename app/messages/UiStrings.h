// The user-interface string table and the language state of the process.
//
// Resource string 1000 + n holds the Japanese and 2000 + n the English text of
// item n (n = 0 to 57, 19 absent); a caller asks for item n with uiString(n), which
// adds stringBase() for the chosen language. A few further strings (103, 105, 128,
// 129, 130) are language-neutral. All texts are UTF-8.
//
// The language is chosen once at start-up with setLanguage, which also installs the
// built-in message catalogue in the same language. Every function here may be
// called from any thread.
#pragma once

#include "app/messages/MessageCatalogue.h"

#include <optional>
#include <string_view>

namespace quaverly {

// The system language id that selects the Japanese interface; any other id gives
// the English one.
inline constexpr unsigned kJapaneseLocaleId = 0x0411;

// Japanese for kJapaneseLocaleId, English for every other id.
Language languageFromLocaleId(unsigned localeId);

// The language of the code "ja" or "en" (as the command lines take it); nothing for
// any other text.
std::optional<Language> parseLanguageCode(std::string_view code);

// Sets the interface language (and with it stringBase) and installs the built-in
// message catalogue read in the same language. Until the first call the language
// is Japanese and no catalogue is installed.
void setLanguage(Language language);

Language uiLanguage();
bool isJapanese();
bool isEnglish();

// 0 for Japanese, 1000 for English: the offset added to 1000 + n to load item n.
unsigned stringBase();

// The text of resource string `id`; empty for an id the table does not hold.
std::string_view resourceString(unsigned id);

// Item n of the user-interface strings in the current language, i.e.
// resourceString(1000 + n + stringBase()).
std::string_view uiString(unsigned n);

// Shows resource string `id`, with `argument` in place of its "%s" if given, as a
// notice (OK button) through the installed message presenter, the same way a
// catalogue message is shown. Returns the presenter's result.
MessageResult showResourceString(unsigned id, std::optional<std::string_view> argument = std::nullopt);

// The two uses of the four-choice confirmation dialog.
enum class FourChoiceVariant : int { Overwrite = 1, Convert = 2 };

// The four-choice variant that presents a message style; none for the styles shown
// in an ordinary message box.
std::optional<FourChoiceVariant> fourChoiceVariant(MessageStyle style);

// Button texts of the four-choice dialog, in the order of its results
// Yes (6), Yes to All (10), No (7), Cancel (2). '&' marks the access key.
struct FourChoiceTexts {
  std::string_view yes;
  std::string_view yesToAll;
  std::string_view no;
  std::string_view cancel;
};

// The four button texts for the current language. Only the Japanese Convert
// variant differs from the others, in its Yes to All button (string 1057).
FourChoiceTexts fourChoiceButtonTexts(FourChoiceVariant variant);

}  // namespace quaverly
