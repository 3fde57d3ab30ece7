// A thread that lives as long as the library is loaded. Its end has to work from
// the library's unload, which on Windows runs under the system's loader lock: a
// thread cannot finish there (its exit waits for that lock), so on Windows the thread
// parks once its work has returned and is then ended forcibly, holding nothing.
#pragma once

#include <functional>
#include <memory>

namespace tonelink::mm {

class LibraryThread {
 public:
  LibraryThread();
  // Joins the thread if it still runs.
  ~LibraryThread();
  LibraryThread(const LibraryThread&) = delete;
  LibraryThread& operator=(const LibraryThread&) = delete;

  void start(std::function<void()> work);
  // Waits until `work` has returned, then ends the thread. The caller first makes the
  // work return. Does nothing when no thread runs.
  void join();

  struct Native;  // the platform's thread and what it needs

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace tonelink::mm
