#include "app/shell/GuiConnectionUi.h"

#include <QString>

#include "app/dialogs/MessagePump.h"
#include "app/dialogs/UiText.h"

namespace quaverly {

GuiConnectionUi::GuiConnectionUi(QWidget* owner) : owner_(owner) {}

void GuiConnectionUi::showWait(std::string_view text) {
  waitDlg_.create(owner_);
  waitDlg_.setText(toQString(text));
  pumpMessages();  // let the window appear before the check blocks in its first wait
}

void GuiConnectionUi::pump() { pumpMessages(); }

void GuiConnectionUi::closeWait() { waitDlg_.destroy(); }

}  // namespace quaverly
