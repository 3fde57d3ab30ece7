#include "portlib/InputThread.h"

#include <chrono>

#include "portlib/MidiInPort.h"

namespace tonelink {

using namespace mm;

InputThread::~InputThread() { stop(); }

void InputThread::start(MidiInPort& port) {
  thread_.start([this, &port] { run(port); });
  running_ = true;
}

void InputThread::stop() {
  if (!running_) return;
  queue_.post(WM_CLOSE, 0, 0);
  thread_.join();
  running_ = false;
}

void InputThread::run(MidiInPort& port) {
  for (;;) {
    const auto message = queue_.peek();
    if (!message) {
      queue_.waitForMessage(std::chrono::milliseconds(port.idleSleep()));
      continue;
    }
    switch (message->message) {
      case MM_MIM_DATA:
      case MM_MIM_LONGDATA:
      case MM_MIM_LONGERROR:
        port.handle(message->message, message->lParam);
        break;
      case WM_CLOSE:
        return;
      default:
        break;
    }
  }
}

}  // namespace tonelink
