#include "app/dialogs/GuiWaitCursor.h"

#include <QApplication>
#include <QCursor>

namespace quaverly {

void GuiWaitCursor::show() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

void GuiWaitCursor::restore() { QApplication::restoreOverrideCursor(); }

}  // namespace quaverly
