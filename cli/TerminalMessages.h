// How quaverly-cli talks to the user: the interface language chosen from the
// environment, and the presenter that puts the program's messages on the terminal.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/messages/MessageCatalogue.h"
#include "app/settings/AppSettings.h"

namespace quaverly::cli {

// The language of the messages: Japanese when the locale that decides messages
// (LC_ALL, else LC_MESSAGES, else LANG; the first one set and not empty) starts
// with "ja", else English.
Language languageFromEnvironment(const EnvironmentLookup& environment = processEnvironment);

// Writes every message to `stream` as one line, "quaverly-cli: " and the text with
// its line breaks turned into spaces, and answers OK. Questions are not asked on the
// terminal; no command of quaverly-cli shows one.
MessagePresenter terminalPresenter(std::ostream& stream);

// The text with control characters (and DEL) written as \xHH, so that a name from the
// instrument cannot move the cursor or clear the terminal.
std::string printable(std::string_view utf8);

// A failure of quaverly-cli's own, as one line: "quaverly-cli: " and the text.
void printFailure(std::ostream& stream, std::string_view text);

}  // namespace quaverly::cli
