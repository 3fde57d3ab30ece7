// Tonelink.dll loaded and at once unloaded, over and over, as a program that only
// lists the ports does. The unload runs under the system's loader lock and has to end
// the input thread wherever it is: not yet begun (it waits for that lock to begin), or
// in its first wait for a message.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Tonelink.dll beside this program.
std::wstring libraryPath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"Tonelink.dll";
}

// Ends the process when `done` is not set in time: a hung unload holds the loader
// lock, so the process could not even exit normally.
DWORD WINAPI watchdog(void* done) {
  if (WaitForSingleObject(done, 120000) == WAIT_OBJECT_0) return 0;
  std::fputs("watchdog: an unload of Tonelink.dll did not return\n", stderr);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return 0;
}

void spinMicroseconds(LONGLONG microseconds) {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  do {
    QueryPerformanceCounter(&now);
  } while ((now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart < microseconds);
}

TEST(TonelinkUnload, UnloadsAtAnyMomentAfterTheLoad) {
  const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const HANDLE guard = CreateThread(nullptr, 0, watchdog, done, 0, nullptr);
  const std::wstring path = libraryPath();
  for (int round = 0; round < 300; ++round) {
    const HMODULE library = LoadLibraryW(path.c_str());
    ASSERT_NE(library, nullptr) << "Tonelink.dll not found beside the test";
    // The moment of the unload moves through the input thread's first milliseconds.
    spinMicroseconds((round % 30) * 100);
    FreeLibrary(library);
  }
  SetEvent(done);
  WaitForSingleObject(guard, INFINITE);
  CloseHandle(guard);
  CloseHandle(done);
}

}  // namespace
