#include "app/dialogs/MessagePump.h"

#include <QCoreApplication>
#include <QThread>

namespace quaverly {

void pumpMessages() {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application || QThread::currentThread() != application->thread()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace quaverly
