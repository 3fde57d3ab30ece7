// quaverly-bench-link [--size=BYTES] [--fast-size=BYTES] [--files=N] [--only=CASE,...]
//
// Times the application's link layer against the virtual instrument in the same
// process: the link's messages go straight to the instrument, its answers come back
// through linkReceive, as through the port library. Cases:
//   list          a folder of N files (default 200) with find first / find next
//   receive       a file of --fast-size bytes (default 1 MiB), the wire model off and
//                 the instrument streaming a block every 0.5 ms: the protocol's cost
//   send          the same file with pacing off, wire model off
//   receive-wire  a file of --size bytes (default 64 KiB; 1 MiB takes about 400 s)
//                 with the MIDI wire modelled at 31250 baud
//   send-paced    that file with the default pacing (256 bytes, 100 ms), wire model off
//   send-wire     that file with the default pacing, wire model on
// Each transfer reports its file bytes per second and the CPU time the process used
// (link and instrument together) and the requesting thread alone, per MiB moved and
// as a share of the transfer's duration.
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/protocol/BulkTransfer.h"
#include "app/protocol/FileCommands.h"
#include "app/protocol/Link.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/Instrument.h"

namespace {

using namespace quaverly;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// The line's limit for file data: 210 file bytes in every 251-byte block at 3125
// bytes per second.
constexpr double kLineLimit = 210.0 / 251.0 * 3125.0;

// ---- the loopback port library ------------------------------------------------------

std::atomic<instrument::Instrument*> target{nullptr};

unsigned setDeviceId(int, unsigned) { return 1; }
unsigned getDeviceId(int) { return 0; }
unsigned getErrorText(int, char* text, unsigned size) {
  if (text && size) text[0] = '\0';
  return 0;
}
unsigned getLastResult(int) { return 0; }
int inputOpen(ReceiveCallback, int, int, int) { return 1; }
int noOperation() { return 1; }
int outputOpen(int) { return 1; }
int dump(const unsigned char* bytes, int length) {
  instrument::Instrument* to = target.load();
  if (!to || !bytes || length <= 0) return 0;
  to->receive(std::span(bytes, static_cast<std::size_t>(length)));
  return 1;
}

struct Loopback {
  protocol::InputFunctionTable input;
  protocol::OutputFunctionTable output;

  Loopback() {
    for (protocol::PortFunctionTable* t :
         {static_cast<protocol::PortFunctionTable*>(&input), static_cast<protocol::PortFunctionTable*>(&output)}) {
      t->setDeviceId = &setDeviceId;
      t->getDeviceId = &getDeviceId;
      t->getErrorText = &getErrorText;
      t->getLastResult = &getLastResult;
    }
    input.direction = 1;
    input.open = &inputOpen;
    input.close = input.start = input.stop = &noOperation;
    output.open = &outputOpen;
    output.close = &noOperation;
    output.write = output.dump = &dump;
    protocol::Link::instance().bind(&input, &output);
  }
  ~Loopback() { protocol::Link::instance().bind(nullptr, nullptr); }
};

// An instrument in transfer mode, answering through linkReceive.
struct Bench {
  std::unique_ptr<instrument::Instrument> instrument;
  protocol::Link& link = protocol::Link::instance();
  protocol::TransferProgress progress;

  explicit Bench(bool wire) {
    instrument::InstrumentOptions o;
    o.capacityBytes = 256u * 1024 * 1024;
    o.wire.enabled = wire;
    if (!wire) {
      // Without the wire the instrument's own 5 ms between blocks would be all that is
      // measured. Half a millisecond leaves the link's cost in view, while the link's
      // queue of 99 messages still holds fifty milliseconds of blocks: the instrument
      // streams without flow control, and a reader kept from running longer than the
      // queue lasts loses blocks, as it would behind a wire that fast.
      o.timeScale = 0.1;
    }
    instrument = std::make_unique<instrument::Instrument>(
        std::make_unique<instrument::InMemoryFileMemory>(), o,
        [](std::span<const std::uint8_t> m) { protocol::linkReceive(m.data(), static_cast<int>(m.size())); });
    link.state() = protocol::LinkState{};
    link.resetQueue();
    target.store(instrument.get());
    link.send(protocol::buildRemoteMode(0, true));
  }
  ~Bench() {
    target.store(nullptr);
    instrument.reset();
    link.resetQueue();
  }

  void addFile(const instrument::MemoryPath& path, const Bytes& data) {
    instrument->withMemory([&](instrument::FileMemory& m) {
      if (!m.create(path) || !m.append(path, data)) std::fprintf(stderr, "cannot store a file\n");
    });
  }
  void addFolder(const instrument::MemoryPath& path) {
    instrument->withMemory([&](instrument::FileMemory& m) { m.makeFolder(path); });
  }
  std::optional<Bytes> file(const instrument::MemoryPath& path) {
    std::optional<Bytes> data;
    instrument->withMemory([&](instrument::FileMemory& m) { data = m.read(path); });
    return data;
  }
};

Bytes patternBytes(std::size_t size) {
  Bytes data(size);
  std::uint32_t x = 12345u;
  for (auto& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 23);
  }
  return data;
}

// ---- measuring ------------------------------------------------------------------

double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Meter {
  Clock::time_point start = Clock::now();
  double processCpu = cpuSeconds(RUSAGE_SELF);
  double threadCpu = cpuSeconds(RUSAGE_THREAD);
};

void report(std::string_view name, const Meter& m, std::size_t bytes, int result, bool intact,
            const char* goal = nullptr) {
  const double seconds = std::chrono::duration<double>(Clock::now() - m.start).count();
  const double processCpu = cpuSeconds(RUSAGE_SELF) - m.processCpu;
  const double threadCpu = cpuSeconds(RUSAGE_THREAD) - m.threadCpu;
  const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
  std::printf("%-13s %8zu B  result %d%s  %10.1f ms  %11.0f B/s  (%.1f%% of the line)\n", std::string(name).c_str(),
              bytes, result, intact ? "" : " DAMAGED", seconds * 1e3, static_cast<double>(bytes) / seconds,
              100.0 * static_cast<double>(bytes) / seconds / kLineLimit);
  std::printf(
      "%-13s CPU: process %.1f ms (%.1f ms/MiB, %.2f%% of the time), requesting thread %.1f ms "
      "(%.1f ms/MiB, %.2f%%)\n",
      "", processCpu * 1e3, processCpu * 1e3 / mib, 100.0 * processCpu / seconds, threadCpu * 1e3,
      threadCpu * 1e3 / mib, 100.0 * threadCpu / seconds);
  if (goal) std::printf("%-13s goal: %s\n", "", goal);
}

void benchList(std::size_t files) {
  Loopback loopback;
  Bench b(false);
  b.addFolder({"BENCH"});
  for (std::size_t i = 0; i < files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "F%05zu.MID", i);
    b.addFile({"BENCH", name}, Bytes(100, 0x11));
  }
  std::vector<double> times;
  std::size_t listed = 0;
  for (int round = 0; round < 21; ++round) {
    const auto start = Clock::now();
    protocol::DirectoryEntry entry;
    listed = 0;
    for (auto r = protocol::findFirst(b.link, protocol::kFindMaskFoldersAndFiles, "0:\\BENCH\\*", entry);
         r == protocol::kLinkSuccess; r = protocol::findNext(b.link, entry)) {
      ++listed;
    }
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%-13s %zu files (%zu entries with . and ..): median %.2f ms, worst %.2f ms of 21 runs\n", "list", files,
              listed, times[times.size() / 2] * 1e3, times.back() * 1e3);
  std::printf("%-13s goal: under 500 ms with the wire model off\n", "");
}

void benchReceive(std::size_t size, bool wire) {
  Loopback loopback;
  Bench b(wire);
  const Bytes data = patternBytes(size);
  b.addFile({"BENCH.MID"}, data);
  protocol::BulkTransfer bulk(b.link, b.progress, {});
  Bytes received;
  Meter m;
  std::uint32_t announced = 0;
  auto result = bulk.requestFile("0:\\BENCH.MID", announced);
  if (result == protocol::kLinkSuccess) {
    received.assign(announced, 0);
    result = bulk.receiveBlocks(received);
  }
  const std::uint32_t got = b.link.state().receivedBytes;
  if (result == protocol::kLinkSuccess) result = bulk.sendFinished();
  report(wire ? "receive-wire" : "receive", m, size, result, received == data,
         wire ? "at least 95% of the line" : nullptr);
  if (result != protocol::kLinkSuccess) std::printf("%-13s failed after %u bytes\n", "", got);
}

void benchSend(std::size_t size, bool wire, protocol::PacingSettings pacing, std::string_view name) {
  Loopback loopback;
  Bench b(wire);
  const Bytes data = patternBytes(size);
  protocol::BulkTransfer bulk(b.link, b.progress, pacing);
  Meter m;
  auto result = bulk.sendHeader(static_cast<std::uint32_t>(size), "0:\\BENCH.MID");
  if (result == protocol::kLinkSuccess) result = bulk.sendBlocks(data);
  if (result == protocol::kLinkSuccess) result = bulk.sendEndOfData();
  report(name, m, size, result, b.file({"BENCH.MID"}) == data);
}

}  // namespace

int main(int argc, char** argv) {
  // A line at a time, so that a long run shows its figures as they come.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::size_t size = 64 * 1024;
  std::size_t fastSize = 1024 * 1024;
  std::size_t files = 200;
  std::set<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg.starts_with("--size=")) {
      size = std::strtoull(argv[i] + 7, nullptr, 10);
    } else if (arg.starts_with("--fast-size=")) {
      fastSize = std::strtoull(argv[i] + 12, nullptr, 10);
    } else if (arg.starts_with("--files=")) {
      files = std::strtoull(argv[i] + 8, nullptr, 10);
    } else if (arg.starts_with("--only=")) {
      std::stringstream list{std::string(arg.substr(7))};
      for (std::string name; std::getline(list, name, ',');) only.insert(name);
    } else {
      std::fprintf(stderr,
                   "usage: %s [--size=BYTES] [--fast-size=BYTES] [--files=N] "
                   "[--only=list,receive,send,receive-wire,send-paced,send-wire]\n",
                   argv[0]);
      return 2;
    }
  }
  const auto wanted = [&](const char* name) { return only.empty() || only.count(name) != 0; };
  std::printf("link against the virtual instrument; line limit %.0f file bytes/s\n", kLineLimit);
  const protocol::PacingSettings unpaced{256, 0};
  const protocol::PacingSettings defaults{};
  if (wanted("list")) benchList(files);
  if (wanted("receive")) benchReceive(fastSize, false);
  if (wanted("send")) benchSend(fastSize, false, unpaced, "send");
  if (wanted("receive-wire")) benchReceive(size, true);
  if (wanted("send-paced")) benchSend(size, false, defaults, "send-paced");
  if (wanted("send-wire")) benchSend(size, true, defaults, "send-wire");
  return 0;
}
