// The library's long-lived thread: join() waits for the work to return, and on Windows
// an unload that comes before the thread has begun (the unload holds the loader lock
// that a starting thread waits for) still ends it instead of waiting for ever.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "portlib/system/LibraryThread.h"
#include "tests/portlib/MidiTestSupport.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

extern "C" {
NTSYSAPI LONG NTAPI LdrLockLoaderLock(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);
NTSYSAPI LONG NTAPI LdrUnlockLoaderLock(ULONG flags, ULONG_PTR cookie);
}
#endif

namespace tonelink::test {
namespace {

TEST(LibraryThreadTest, JoinWaitsUntilTheWorkHasReturned) {
  std::atomic<bool> working{false}, release{false}, returned{false};
  runWithWatchdog(
      [&] {
        mm::LibraryThread thread;
        thread.start([&] {
          working = true;
          while (!release) std::this_thread::yield();
          returned = true;
        });
        while (!working) std::this_thread::yield();
        release = true;
        thread.join();
        EXPECT_TRUE(returned);
        thread.join();  // a second join does nothing
      },
      "join");
}

#ifdef _WIN32
TEST(LibraryThreadTest, AnUnloadBeforeTheThreadHasBegunEndsIt) {
  runWithWatchdog(
      [] {
        // As the library's unload: with the loader lock held from before the thread was
        // made until after it is joined.
        ULONG_PTR cookie = 0;
        ASSERT_GE(LdrLockLoaderLock(0, nullptr, &cookie), 0);
        {
          mm::LibraryThread thread;
          thread.start([] {});
          thread.join();
        }
        LdrUnlockLoaderLock(0, cookie);
      },
      "join under the loader lock");
}
#endif

}  // namespace
}  // namespace tonelink::test
