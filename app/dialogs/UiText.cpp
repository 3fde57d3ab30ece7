#include "app/dialogs/UiText.h"

#include "app/messages/UiStrings.h"
#include "app/protocol/wire/ShiftJisText.h"

namespace quaverly {

QString toQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString uiText(unsigned n) { return toQString(uiString(n)); }

QString instrumentText(std::string_view shiftJis) { return toQString(protocol::displayText(shiftJis)); }

}  // namespace quaverly
