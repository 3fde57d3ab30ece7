// The program's texts (UTF-8) as Qt strings.
#pragma once

#include <QString>

#include <string_view>

namespace quaverly {

// `text`, UTF-8, as a QString.
QString toQString(std::string_view text);

// User-interface string n in the current language (uiString) as a QString.
QString uiText(unsigned n);

}  // namespace quaverly
