// The program's texts (UTF-8) as Qt strings.
#pragma once

#include <QString>

#include <string_view>

namespace quaverly {

// `text`, UTF-8, as a QString.
QString toQString(std::string_view text);

// A name from the instrument (code page 932) as the user sees it.
QString instrumentText(std::string_view shiftJis);

// User-interface string n in the current language (uiString) as a QString.
QString uiText(unsigned n);

// Items of the user-interface strings that many windows show.
inline constexpr unsigned kTitleText = 0;    // the application title: every caption
inline constexpr unsigned kCancelText = 13;  // cancel buttons

}  // namespace quaverly
