#include "app/jobs/JobUserInterface.h"

#include "app/messages/UiStrings.h"

namespace quaverly {

MessageResult PresenterJobUserInterface::show(MessageId id, std::optional<std::string_view> argument) {
  return showMessage(id, argument);
}

void PresenterJobUserInterface::showString(unsigned stringId, std::optional<std::string_view> argument) {
  showResourceString(stringId, argument);
}

}  // namespace quaverly
