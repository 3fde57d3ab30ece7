// Round trip of IdentifyRequest to IdentifyReply through Tonelink and its built-in
// virtual instrument, and the library's CPU use while both ports are open and idle.
// Prints the figures; it is a measurement, not a test.
#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "app/protocol/wire/SysexCatalogue.h"
#include "portlib/Tonelink.h"

namespace {

using Clock = std::chrono::steady_clock;

std::mutex mutex;
std::condition_variable arrived;
int replies = 0;

void onReceive(const unsigned char* bytes, int length) {
  if (!quaverly::protocol::matches(quaverly::protocol::SysexId::IdentifyReply,
                                   {bytes, static_cast<std::size_t>(length)}))
    return;
  std::lock_guard lock(mutex);
  ++replies;
  arrived.notify_all();
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <typename Fn>
Fn entry(void* library, const char* name) {
  auto fn = reinterpret_cast<Fn>(dlsym(library, name));
  if (!fn) {
    std::fprintf(stderr, "missing entry point %s\n", name);
    std::exit(2);
  }
  return fn;
}

// The highest device id a port accepts: the virtual instrument is listed last.
unsigned lastDevice(TonelinkSetDeviceIdFn set, TonelinkGetDeviceIdFn get, int kind) {
  set(kind, 0);
  unsigned id = 0;
  while (id < 4096) {
    set(kind, id + 1);
    if (get(kind) != id + 1) break;
    ++id;
  }
  return id;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : TONELINK_LIBRARY_PATH;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 1000;
  setenv("QUAVERLY_INSTRUMENT_DIR", ":memory:", 0);
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    return 2;
  }
  const auto set = entry<TonelinkSetDeviceIdFn>(library, "_ENTRYcomSetDeviceID");
  const auto get = entry<TonelinkGetDeviceIdFn>(library, "_ENTRYcomGetDeviceID");
  const auto inOpen2 = entry<TonelinkInOpen2Fn>(library, "_ENTRYinOpen2");
  const auto inStart = entry<TonelinkVoidFn>(library, "_ENTRYinStart");
  const auto inStop = entry<TonelinkVoidFn>(library, "_ENTRYinStop");
  const auto inClose = entry<TonelinkVoidFn>(library, "_ENTRYinClose");
  const auto outOpen = entry<TonelinkOutOpenFn>(library, "_ENTRYoutOpen");
  const auto outClose = entry<TonelinkVoidFn>(library, "_ENTRYoutClose");
  const auto dump = entry<TonelinkOutBytesFn>(library, "_ENTRYoutDump");

  set(1, lastDevice(set, get, 1));
  set(0, lastDevice(set, get, 0));
  // As the program opens them: input thread mode, 50 ms idle sleep.
  if (!inOpen2(&onReceive, -1, 1, 50) || !outOpen(-1) || !inStart()) {
    std::fprintf(stderr, "cannot open the virtual instrument\n");
    return 2;
  }

  const auto request = quaverly::protocol::buildMessage(quaverly::protocol::SysexId::IdentifyRequest, 0);
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(rounds));
  for (int i = 0; i < rounds; ++i) {
    std::unique_lock lock(mutex);
    const int before = replies;
    lock.unlock();
    const auto start = Clock::now();
    while (!dump(request.data(), static_cast<int>(request.size()))) std::this_thread::yield();
    lock.lock();
    if (!arrived.wait_for(lock, std::chrono::seconds(5), [&] { return replies > before; })) {
      std::fprintf(stderr, "no reply to request %d\n", i);
      return 1;
    }
    micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(micros.begin(), micros.end());
  const double median = micros[micros.size() / 2];
  const double p99 = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  std::printf("identify round trip over %d requests: median %.1f us, 99th percentile %.1f us, max %.1f us\n", rounds,
              median, p99, micros.back());

  const double idleSeconds = 3.0;
  const double cpuBefore = cpuSeconds();
  const auto wallBefore = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(idleSeconds));
  const double cpu = cpuSeconds() - cpuBefore;
  const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
  std::printf("idle with both ports open: %.3f%% of one core over %.1f s\n", 100.0 * cpu / wall, wall);

  inStop();
  inClose();
  outClose();
  dlclose(library);
  return 0;
}
