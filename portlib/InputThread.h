// The library's input thread: lives from load to unload and runs the input port's
// receive handler for every notification posted to its queue. When the queue is
// empty it waits, never longer than the port's idle sleep, and wakes at once when a
// notification arrives.
#pragma once

#include "portlib/system/LibraryThread.h"
#include "portlib/system/ThreadMessageQueue.h"

namespace tonelink {

class MidiInPort;

class InputThread {
 public:
  InputThread() = default;
  ~InputThread();
  InputThread(const InputThread&) = delete;
  InputThread& operator=(const InputThread&) = delete;

  mm::ThreadMessageQueue& queue() { return queue_; }
  void start(MidiInPort& port);
  // Posts WM_CLOSE and waits for the thread to end.
  void stop();

 private:
  void run(MidiInPort& port);

  mm::ThreadMessageQueue queue_;
  mm::LibraryThread thread_;
  bool running_ = false;
};

}  // namespace tonelink
