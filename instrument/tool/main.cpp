// quaverly-instrument: the virtual instrument on a real MIDI port, so that Quaverly
// (or anything else that speaks the protocol) can be tried without the hardware.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "instrument/DemoSongs.h"
#include "instrument/DirectoryFileMemory.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/Instrument.h"
#include "instrument/tool/MidiPortBridge.h"
#include "instrument/tool/ToolOptions.h"

namespace {

namespace fs = std::filesystem;
using namespace quaverly::instrument;
using namespace quaverly::instrument::tool;

constexpr std::string_view kProgram = "quaverly-instrument";
constexpr char kPortName[] = "Quaverly Virtual Instrument";

constexpr int kExitFailure = 1;
// Raised by the bridge when the MIDI system goes away.
constexpr int kLostSignal = SIGUSR1;
constexpr int kExitUsage = 2;

void printError(const std::string& text) {
  std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(kProgram.size()), kProgram.data(), text.c_str());
}

bool alsaSequencerPresent() {
  std::error_code ec;
  return fs::exists("/dev/snd/seq", ec);
}

// The ALSA sequencer first, JACK when ALSA is absent or fails; or just the system
// asked for. RtMidi does not fall back by itself.
std::unique_ptr<MidiPortBridge> openPorts(MidiSystem system, const MidiPortBridge::Log& log,
                                          const MidiPortBridge::Lost& lost, std::string& error) {
  std::vector<MidiApi> candidates;
  std::string failures;
  switch (system) {
    case MidiSystem::Alsa:
      candidates = {MidiApi::Alsa};
      break;
    case MidiSystem::Jack:
      candidates = {MidiApi::Jack};
      break;
    case MidiSystem::Automatic:
      if (alsaSequencerPresent()) {
        candidates = {MidiApi::Alsa, MidiApi::Jack};
      } else {
        candidates = {MidiApi::Jack};
        failures = "ALSA: no sequencer (/dev/snd/seq is missing)";
      }
      break;
  }
  for (const MidiApi api : candidates) {
    std::string why;
    if (auto bridge = MidiPortBridge::open(api, kPortName, log, lost, why)) return bridge;
    if (!failures.empty()) failures += "\n  ";
    failures += why;
  }
  error = "cannot open the MIDI ports:\n  " + failures;
  return nullptr;
}

std::unique_ptr<FileMemory> openMemory(const ToolOptions& options, std::string& description, std::string& error) {
  if (options.memory == MemoryKind::InMemory) {
    description = "in memory (gone at exit)";
    return std::make_unique<InMemoryFileMemory>();
  }
  const fs::path chosen = options.memory == MemoryKind::Directory ? options.directory : defaultInstrumentDirectory();
  std::error_code ec;
  const fs::path dir = fs::absolute(chosen, ec);
  if (ec) {
    error = "cannot use " + chosen.string() + ": " + ec.message();
    return nullptr;
  }
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir, ec)) {
    error = "cannot use " + dir.string() +
            " as the instrument's memory: " + (ec ? ec.message() : std::string("not a directory"));
    return nullptr;
  }
  auto memory = std::make_unique<DirectoryFileMemory>(dir);
  if (!seedDemoSongsIfEmpty(*memory)) printError("warning: not every demo song could be stored in " + dir.string());
  description = dir.string();
  return memory;
}

void printPorts(const char* label, const std::vector<std::string>& names) {
  if (names.empty()) {
    std::printf("  %s %s\n", label, kPortName);
    return;
  }
  for (const std::string& name : names) std::printf("  %s %s\n", label, name.c_str());
}

int run(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  const ParsedOptions parsed = parseToolOptions(args);
  if (!parsed.options) {
    printError(parsed.error);
    std::fprintf(stderr, "Try '%.*s --help' for more information.\n", static_cast<int>(kProgram.size()),
                 kProgram.data());
    return kExitUsage;
  }
  const ToolOptions& options = *parsed.options;
  if (options.help) {
    std::fputs(toolUsage(kProgram).c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%.*s %s\n", static_cast<int>(kProgram.size()), kProgram.data(), QUAVERLY_VERSION);
    return 0;
  }

  // The stop signals are taken by sigwait below. They are blocked before any thread
  // starts (RtMidi's, JACK's, the instrument's) so that every thread inherits the
  // mask and none of them is interrupted instead.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, kLostSignal}) {
    // A shell starts background jobs with SIGINT ignored; the default disposition
    // makes sure the signal is kept for sigwait.
    signal(sig, SIG_DFL);
    sigaddset(&stopSignals, sig);
  }
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // With -v the trace goes to stdout; a reader that goes away must not kill us.
  signal(SIGPIPE, SIG_IGN);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  std::string memoryDescription;
  std::string error;
  std::unique_ptr<FileMemory> memory = openMemory(options, memoryDescription, error);
  if (!memory) {
    printError(error);
    return kExitFailure;
  }

  const MidiPortBridge::Log log = [](const std::string& text) { printError("warning: " + text); };
  // Wakes the sigwait below from the MIDI library's thread.
  const MidiPortBridge::Lost lost = [] { kill(getpid(), kLostSignal); };
  std::unique_ptr<MidiPortBridge> bridge = openPorts(options.midiSystem, log, lost, error);
  if (!bridge) {
    printError(error);
    return kExitFailure;
  }

  MidiPortBridge& ports = *bridge;
  auto instrument = std::make_unique<Instrument>(std::move(memory), options.instrument,
                                                 [&ports](std::span<const std::uint8_t> m) { ports.send(m); });
  if (options.verbose) {
    instrument->trace().setListener([](const TraceEntry& entry) {
      const std::string line = formatTraceEntry(entry) + "\n";
      std::fputs(line.c_str(), stdout);
    });
  }
  Instrument& target = *instrument;
  ports.start([&target](std::span<const std::uint8_t> m) { target.receive(m); });

  std::printf("%s on %.*s, device number %u\n", kPortName, static_cast<int>(midiApiName(ports.api()).size()),
              midiApiName(ports.api()).data(), static_cast<unsigned>(options.instrument.deviceNumber));
  std::printf("  file memory: %s, %u bytes\n", memoryDescription.c_str(),
              static_cast<unsigned>(options.instrument.capacityBytes));
  printPorts("input port (the PC sends to it):  ", ports.inputPortNames());
  printPorts("output port (the PC listens to it):", ports.outputPortNames());
  std::printf("Serving until interrupted (Ctrl+C).\n");
  std::fflush(stdout);

  int signalNumber = 0;
  if (const int failed = sigwait(&stopSignals, &signalNumber); failed != 0) {
    printError("cannot wait for signals: " + std::error_code(failed, std::generic_category()).message());
  }
  if (signalNumber == kLostSignal) {
    printError("the " + std::string(midiApiName(ports.api())) + " server has gone away");
    std::fflush(stdout);
    std::fflush(stderr);
    // No orderly shutdown is possible: the instrument's thread may be inside RtMidi's
    // JACK send, which waits for room that only a running server makes, and JACK
    // clients cannot be closed without their server.
    std::_Exit(kExitFailure);
  }

  // Deliveries first, so that nothing reaches the instrument while it shuts down;
  // then the instrument, whose thread may still be sending.
  ports.stop();
  instrument.reset();
  const MidiPortBridge::Counters counters = ports.counters();
  if (counters.droppedInput != 0 || counters.failedSends != 0) {
    printError("warning: " + std::to_string(counters.droppedInput) + " incoming message(s) dropped, " +
               std::to_string(counters.failedSends) + " message(s) not sent");
  }
  bridge.reset();
  std::printf("Stopped (signal %d).\n", signalNumber);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    printError(e.what());
    return kExitFailure;
  }
}
