#include "portlib/system/LibraryThread.h"

#include <thread>

namespace tonelink::mm {

struct LibraryThread::Native {
  std::thread thread;
};

LibraryThread::LibraryThread() : native_(std::make_unique<Native>()) {}

LibraryThread::~LibraryThread() { join(); }

void LibraryThread::start(std::function<void()> work) { native_->thread = std::thread(std::move(work)); }

void LibraryThread::join() {
  if (native_->thread.joinable()) native_->thread.join();
}

}  // namespace tonelink::mm
