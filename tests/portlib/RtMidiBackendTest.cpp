// The RtMidi backends. Without the system they need (no /dev/snd/seq, no JACK
// server) they list nothing and print nothing. With a private JACK server, started
// for these tests when jackd is installed, messages make the round trip through a
// peer client that echoes what it receives, and a server that goes away makes calls
// fail instead of hanging. The ALSA round trip runs where a sequencer exists.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "portlib/system/rtmidi/JackServerWatch.h"
#include "portlib/system/rtmidi/RtMidiBackend.h"
#include "tests/portlib/MidiTestSupport.h"

extern char** environ;

namespace tonelink::test {
namespace {

using Api = RtMidiBackend::Api;
constexpr UINT kHeaderSize = sizeof(MIDIHDR);

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string uniqueName(const char* what) {
  static std::atomic<unsigned> counter{0};
  return std::string("tonelink-") + what + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

void quietJack(const char*) {}

// ---- names -----------------------------------------------------------------

TEST(RtMidiPortList, AlsaNamesLoseTheAddressAndARepeatedClientName) {
  const auto ports = RtMidiBackend::listPorts(
      Api::Alsa,
      {"Midi Through:Midi Through Port-0 14:0", "quaverly-instrument:Quaverly Virtual Instrument 128:0",
       "USB-MIDI:USB-MIDI MIDI 1 20:0", "Odd Name 3:4", "Tonelink-42:Tonelink In 130:0"},
      "Tonelink-42");
  ASSERT_EQ(ports.size(), 4u);
  EXPECT_EQ(ports[0].name, "ALSA: Midi Through Port-0");
  EXPECT_EQ(ports[0].address, "Midi Through:Midi Through Port-0 14:0");
  EXPECT_EQ(ports[1].name, "ALSA: quaverly-instrument:Quaverly Virtual Instrument");
  EXPECT_EQ(ports[2].name, "ALSA: USB-MIDI MIDI 1");
  EXPECT_EQ(ports[3].name, "ALSA: Odd Name");
}

TEST(RtMidiPortList, OwnPortsAreLeftOutAndRepeatedNamesNumbered) {
  const auto ports =
      RtMidiBackend::listPorts(Api::Jack,
                               {"system:midi_capture_1", "Tonelink-42:Tonelink In", "Tonelink-42-01:Tonelink Out",
                                "Tonelink-421:out", "Tonelink-42-x:out", "", "synth:in"},
                               "Tonelink-42");
  std::vector<std::string> names;
  for (const auto& p : ports) names.push_back(p.name);
  EXPECT_EQ(names, (std::vector<std::string>{"JACK: system:midi_capture_1", "JACK: Tonelink-421:out",
                                             "JACK: Tonelink-42-x:out", "JACK: synth:in"}));

  const auto twins = RtMidiBackend::listPorts(
      Api::Alsa, {"USB-MIDI:USB-MIDI MIDI 1 20:0", "USB-MIDI:USB-MIDI MIDI 1 24:0", "USB-MIDI:USB-MIDI MIDI 1 28:0"},
      "x");
  ASSERT_EQ(twins.size(), 3u);
  EXPECT_EQ(twins[0].name, "ALSA: USB-MIDI MIDI 1");
  EXPECT_EQ(twins[1].name, "ALSA: USB-MIDI MIDI 1 #2");
  EXPECT_EQ(twins[2].name, "ALSA: USB-MIDI MIDI 1 #3");
  EXPECT_EQ(twins[2].address, "USB-MIDI:USB-MIDI MIDI 1 28:0");
}

// ---- without the system ----------------------------------------------------

TEST(RtMidiJack, WithoutAServerListsNothingAndPrintsNothing) {
  ScopedEnv server("JACK_DEFAULT_SERVER", uniqueName("absent"));
  ScopedEnv noStart("JACK_NO_START_SERVER", "1");
  ::testing::internal::CaptureStderr();
  ::testing::internal::CaptureStdout();
  RtMidiBackend backend(Api::Jack);
  backend.refresh();
  backend.refresh();
  EXPECT_EQ(backend.inputCount(), 0u);
  EXPECT_EQ(backend.outputCount(), 0u);
  std::unique_ptr<MidiOutDevice> out;
  std::unique_ptr<MidiInDevice> in;
  EXPECT_EQ(backend.openOutput(0, out), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(backend.openInput(0, in), MMSYSERR_BADDEVICEID);
  EXPECT_FALSE(backend.inputName(0).has_value());
  const std::string printedOut = ::testing::internal::GetCapturedStdout();
  const std::string printedErr = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(printedOut, "");
  EXPECT_EQ(printedErr, "");
}

TEST(RtMidiAlsa, WithoutASequencerListsNothingAndPrintsNothing) {
  if (::access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  ::testing::internal::CaptureStderr();
  RtMidiBackend backend(Api::Alsa);
  backend.refresh();
  EXPECT_EQ(backend.inputCount(), 0u);
  EXPECT_EQ(backend.outputCount(), 0u);
  std::unique_ptr<MidiOutDevice> out;
  EXPECT_EQ(backend.openOutput(0, out), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// ---- a round trip ----------------------------------------------------------

// Opens the output named `outName` and the input named `inName` of the installed
// backends, sends a short message and SysEx messages of several lengths, and checks
// that the same come back.
void roundTrip(const std::string& outName, const std::string& inName) {
  std::optional<UINT> outId;
  std::optional<UINT> inId;
  for (UINT id = 0, n = midiOutGetNumDevs(); id < n; ++id) {
    MIDIOUTCAPS caps;
    if (midiOutGetDevCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == outName) outId = id;
  }
  for (UINT id = 0, n = midiInGetNumDevs(); id < n; ++id) {
    MIDIINCAPS caps;
    if (midiInGetDevCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == inName) inId = id;
  }
  ASSERT_TRUE(outId.has_value()) << outName;
  ASSERT_TRUE(inId.has_value()) << inName;

  Recorder outRecorder;
  Recorder inRecorder;
  HMIDIOUT out = nullptr;
  HMIDIIN in = nullptr;
  ASSERT_EQ(midiOutOpen(&out, *outId, outRecorder.outCallback(), outRecorder.instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midiInOpen(&in, *inId, inRecorder.inCallback(), inRecorder.instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  std::vector<std::unique_ptr<Header>> headers;
  for (int i = 0; i < 8; ++i) {
    headers.push_back(std::make_unique<Header>(std::size_t{1024}));
    ASSERT_EQ(midiInPrepareHeader(in, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);

  // Opening our own ports moved no device.
  const UINT outCount = midiOutGetNumDevs();
  const UINT inCount = midiInGetNumDevs();
  MIDIOUTCAPS caps;
  ASSERT_EQ(midiOutGetDevCaps(*outId, &caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szPname, outName);
  for (UINT id = 0; id < outCount; ++id) {
    ASSERT_EQ(midiOutGetDevCaps(id, &caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.szPname.find("Tonelink"), std::string::npos) << caps.szPname;
  }
  EXPECT_EQ(midiInGetNumDevs(), inCount);

  EXPECT_EQ(midiOutShortMsg(out, 0x00403C90), MMSYSERR_NOERROR);
  ASSERT_TRUE(inRecorder.waitFor(1));
  EXPECT_EQ(inRecorder.notes()[0].message, MM_MIM_DATA);
  EXPECT_EQ(inRecorder.notes()[0].param1, 0x403C90u);

  const std::vector<Bytes> messages{sysex(6, 1), sysex(300, 2), sysex(3000, 3)};
  std::vector<std::unique_ptr<Header>> outHeaders;
  for (const Bytes& m : messages) {
    outHeaders.push_back(std::make_unique<Header>(m));
    ASSERT_EQ(midiOutPrepareHeader(out, &outHeaders.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &outHeaders.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_TRUE(outRecorder.waitFor(messages.size()));
  // 1 + 1 + 3 headers come back filled.
  ASSERT_TRUE(inRecorder.waitUntil([](const std::vector<Note>& notes) {
    return std::count_if(notes.begin(), notes.end(), [](const Note& n) { return n.message == MM_MIM_LONGDATA; }) >= 5;
  }));
  Bytes joined;
  for (const Note& note : inRecorder.notes()) {
    if (note.message == MM_MIM_LONGDATA) joined.insert(joined.end(), note.bytes.begin(), note.bytes.end());
  }
  Bytes expected;
  for (const Bytes& m : messages) expected.insert(expected.end(), m.begin(), m.end());
  EXPECT_EQ(joined, expected);

  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

TEST(RtMidiAlsa, MessagesMakeTheRoundTripThroughMidiThrough) {
  if (::access("/dev/snd/seq", R_OK | W_OK) != 0) GTEST_SKIP() << "no ALSA sequencer on this machine";
  auto backend = std::make_unique<RtMidiBackend>(Api::Alsa);
  backend->refresh();
  bool through = false;
  for (unsigned i = 0; i < backend->outputCount(); ++i)
    through |= backend->outputName(i) == "ALSA: Midi Through Port-0";
  if (!through) GTEST_SKIP() << "no Midi Through port (snd-seq-dummy not loaded)";
  std::vector<std::unique_ptr<MidiBackend>> backends;
  backends.push_back(std::move(backend));
  installMidiBackends(std::move(backends));
  roundTrip("ALSA: Midi Through Port-0", "ALSA: Midi Through Port-0");
  installMidiBackends({});
}

// ---- a private JACK server -------------------------------------------------

std::optional<std::string> findJackd() {
  for (const char* path : {"/usr/bin/jackd", "/usr/local/bin/jackd"}) {
    if (::access(path, X_OK) == 0) return std::string(path);
  }
  return std::nullopt;
}

// A jackd of its own, with the dummy driver, under a server name no one else uses.
// The process's JACK_DEFAULT_SERVER names it while it runs.
class PrivateJackServer {
 public:
  explicit PrivateJackServer(const std::string& jackd) : name_(uniqueName("server")) {
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    jack_set_error_function(quietJack);
    jack_set_info_function(quietJack);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {jackd.c_str(), "-r", "-S", "-d", "dummy", "-r", "48000", "-p", "256", nullptr};
    const int spawned = posix_spawn(&pid_, jackd.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      return;
    }
    // jackd gives no sign when it is ready; a client that can connect is the sign.
    const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (std::chrono::steady_clock::now() < deadline && running()) {
      if (jack_client_t* probe = jack_client_open("probe", JackNoStartServer, nullptr)) {
        jack_client_close(probe);
        ready_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  ~PrivateJackServer() {
    stop();
    ::unsetenv("JACK_DEFAULT_SERVER");
    ::unsetenv("JACK_NO_START_SERVER");
    // Clients that outlived their server leave their semaphores behind.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", error)) {
      const std::string file = entry.path().filename().string();
      if (file.starts_with("jack_sem.") && file.find("_" + name_ + "_") != std::string::npos) {
        std::filesystem::remove(entry.path(), error);
      }
    }
  }

  bool ready() const { return ready_; }

  // Ends the server: SIGTERM, and SIGKILL when it does not end in time.
  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  bool running() { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  std::string name_;
  pid_t pid_ = -1;
  bool ready_ = false;
};

// A JACK client "peer" with a MIDI input "in" and output "out": what arrives at
// "in" leaves at "out" in the same cycle.
class EchoPeer {
 public:
  EchoPeer() {
    client_ = jack_client_open("peer", static_cast<jack_options_t>(JackNoStartServer | JackUseExactName), nullptr);
    if (!client_) return;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &EchoPeer::process, this);
    ok_ = in_ && out_ && jack_activate(client_) == 0;
  }
  ~EchoPeer() { close(); }
  bool ok() const { return ok_; }
  void close() {
    if (client_) jack_client_close(client_);
    client_ = nullptr;
  }

 private:
  static int process(jack_nframes_t frames, void* self) {
    auto& peer = *static_cast<EchoPeer*>(self);
    void* in = jack_port_get_buffer(peer.in_, frames);
    void* out = jack_port_get_buffer(peer.out_, frames);
    jack_midi_clear_buffer(out);
    const std::uint32_t count = jack_midi_get_event_count(in);
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) == 0) jack_midi_event_write(out, event.time, event.buffer, event.size);
    }
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  bool ok_ = false;
};

class RtMidiJackServer : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto jackd = findJackd();
    if (!jackd) GTEST_SKIP() << "jackd is not installed";
    server_ = std::make_unique<PrivateJackServer>(*jackd);
    if (!server_->ready()) GTEST_SKIP() << "a private JACK server did not start";
    peer_ = std::make_unique<EchoPeer>();
    ASSERT_TRUE(peer_->ok());
    std::vector<std::unique_ptr<MidiBackend>> backends;
    backends.push_back(std::make_unique<RtMidiBackend>(Api::Jack));
    installMidiBackends(std::move(backends));
  }
  void TearDown() override {
    installMidiBackends({});
    peer_.reset();
    server_.reset();
  }

  static std::optional<UINT> outputId(const std::string& name) {
    for (UINT id = 0, n = midiOutGetNumDevs(); id < n; ++id) {
      MIDIOUTCAPS caps;
      if (midiOutGetDevCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == name) return id;
    }
    return std::nullopt;
  }
  static std::optional<UINT> inputId(const std::string& name) {
    for (UINT id = 0, n = midiInGetNumDevs(); id < n; ++id) {
      MIDIINCAPS caps;
      if (midiInGetDevCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == name) return id;
    }
    return std::nullopt;
  }

  std::unique_ptr<PrivateJackServer> server_;
  std::unique_ptr<EchoPeer> peer_;
};

TEST_F(RtMidiJackServer, MessagesMakeTheRoundTripAndNothingIsPrinted) {
  ::testing::internal::CaptureStderr();
  roundTrip("JACK: peer:in", "JACK: peer:out");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(RtMidiJackServer, APortThatWentAwayIsNoDevice) {
  const auto out = outputId("JACK: peer:in");
  const auto in = inputId("JACK: peer:out");
  ASSERT_TRUE(out && in);
  peer_->close();
  // Positions hold until the next count; the ports they name are gone.
  HMIDIOUT outHandle = nullptr;
  HMIDIIN inHandle = nullptr;
  EXPECT_EQ(midiOutOpen(&outHandle, *out, 0, 0, CALLBACK_NULL), MIDIERR_NODEVICE);
  EXPECT_EQ(midiInOpen(&inHandle, *in, 0, 0, CALLBACK_NULL), MIDIERR_NODEVICE);
  EXPECT_EQ(outHandle, nullptr);
  EXPECT_FALSE(outputId("JACK: peer:in").has_value());
}

TEST_F(RtMidiJackServer, AServerThatGoesAwayMakesCallsFailInsteadOfHanging) {
  const auto outId = outputId("JACK: peer:in");
  const auto inId = inputId("JACK: peer:out");
  ASSERT_TRUE(outId && inId);
  Recorder outRecorder;
  HMIDIOUT out = nullptr;
  HMIDIIN in = nullptr;
  ASSERT_EQ(midiOutOpen(&out, *outId, outRecorder.outCallback(), outRecorder.instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midiInOpen(&in, *inId, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x00403C90), MMSYSERR_NOERROR);

  peer_.reset();
  server_->stop();
  // The backend learns of it from libjack's thread; a short message then fails.
  MMRESULT result = MMSYSERR_NOERROR;
  const auto deadline = std::chrono::steady_clock::now() + kWatchdog;
  while (result == MMSYSERR_NOERROR && std::chrono::steady_clock::now() < deadline) {
    result = midiOutShortMsg(out, 0x00403C90);
    if (result == MMSYSERR_NOERROR) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(result, MIDIERR_NODEVICE);

  // Long messages still complete (unsent), and both devices close.
  std::vector<std::unique_ptr<Header>> headers;
  for (int i = 0; i < 20; ++i) {
    headers.push_back(std::make_unique<Header>(sysex(4000)));
    ASSERT_EQ(midiOutPrepareHeader(out, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
  EXPECT_TRUE(outRecorder.waitFor(headers.size()));
  const auto [outClosed, inClosed] =
      runWithWatchdog([&] { return std::make_pair(midiOutClose(out), midiInClose(in)); }, "closing");
  EXPECT_EQ(outClosed, MMSYSERR_NOERROR);
  EXPECT_EQ(inClosed, MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  EXPECT_EQ(midiInGetNumDevs(), 0u);
}

// The watch the backend shares with quaverly-instrument: it sees the server's MIDI
// ports and their connections, and when the server goes away it says so once, both
// to the callback and to gone(), and answers nothing more.
TEST_F(RtMidiJackServer, TheServerWatchSeesThePortsAndTheServerGoingAway) {
  std::mutex mutex;
  std::condition_variable called;
  int calls = 0;
  auto watch = jack::ServerWatch::open(uniqueName("watch"), [&] {
    std::lock_guard lock(mutex);
    ++calls;
    called.notify_all();
  });
  ASSERT_NE(watch, nullptr);
  EXPECT_FALSE(watch->gone());
  const auto sources = watch->midiSources();
  const auto destinations = watch->midiDestinations();
  EXPECT_NE(std::find(sources.begin(), sources.end(), "peer:out"), sources.end());
  EXPECT_EQ(std::find(sources.begin(), sources.end(), "peer:in"), sources.end());
  EXPECT_NE(std::find(destinations.begin(), destinations.end(), "peer:in"), destinations.end());
  EXPECT_TRUE(watch->connections("peer:in").empty());
  EXPECT_TRUE(watch->connections("no-such-client:port").empty());
  EXPECT_GT(watch->midiBufferBytes(), 0u);

  // A device connects to the peer: the watch sees the connection, from either end.
  const auto out = outputId("JACK: peer:in");
  ASSERT_TRUE(out.has_value());
  HMIDIOUT outHandle = nullptr;
  ASSERT_EQ(midiOutOpen(&outHandle, *out, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  const auto peers = watch->connections("peer:in");
  ASSERT_EQ(peers.size(), 1u);
  EXPECT_EQ(watch->connections(peers[0]), std::vector<std::string>{"peer:in"});
  EXPECT_EQ(midiOutClose(outHandle), MMSYSERR_NOERROR);

  peer_.reset();
  server_->stop();
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(called.wait_for(lock, kWatchdog, [&] { return calls > 0; }));
  }
  EXPECT_TRUE(watch->gone());
  EXPECT_TRUE(watch->midiSources().empty());
  EXPECT_TRUE(watch->connections("peer:in").empty());
  watch.reset();
  std::lock_guard lock(mutex);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tonelink::test
