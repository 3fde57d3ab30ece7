// The winmm backend through the multimedia MIDI operations, over a fake of the winmm
// calls that records them, answers with scripted codes and holds the input buffers
// as the system would. The test thread plays the system's thread when it fires the
// fake's events.
#include <gtest/gtest.h>

#include <deque>
#include <future>
#include <map>
#include <set>
#include <string>

#include "portlib/system/winmm/WinMmBackend.h"
#include "portlib/system/winmm/WinMmDevices.h"
#include "tests/portlib/MidiTestSupport.h"

namespace tonelink::test {
namespace {

using namespace std::chrono_literals;
using winmm::LongBuffer;
using winmm::Result;
using Names = std::vector<std::optional<std::u16string>>;  // nothing: the caps call fails
using Calls = std::vector<std::string>;
constexpr UINT kHeaderSize = sizeof(MIDIHDR);

struct FakeWinMm {
  std::mutex mutex;
  std::condition_variable changed;
  Names inNames{u"In A"}, outNames{u"Out A"};
  std::map<std::string, Result> results;  // by call; the others succeed
  bool resetKeepsBuffers = false;         // then giveBack() returns them
  bool doneInsideLongMsg = false;
  bool holdAdds = false;  // midiInAddBuffer waits while set
  Calls calls;
  int openDevices = 0;
  winmm::InputEvents* in = nullptr;
  winmm::OutputEvents* out = nullptr;
  std::set<LongBuffer*> prepared;
  std::deque<LongBuffer*> lent;  // input buffers, in the order they fill
  LongBuffer* sending = nullptr;
  std::vector<std::uint32_t> shortSent;
  std::vector<Bytes> longSent;

  // Records the call and answers its scripted code; `effect` runs only on success.
  template <class Effect>
  Result on(const char* name, Effect effect) {
    std::unique_lock lock(mutex);
    calls.emplace_back(name);
    changed.notify_all();
    const Result result = results.contains(name) ? results[name] : winmm::kNoError;
    if (result == winmm::kNoError) effect(lock);
    return result;
  }
  bool waitUntil(const std::function<bool()>& done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, kWatchdog, done);
  }
  template <class Work>
  auto locked(Work work) {
    std::lock_guard lock(mutex);
    return work();
  }
  // As the system's thread: the next lent buffer comes back with `bytes` in it.
  void receive(const Bytes& bytes) {
    LongBuffer* buffer = locked([&] { return std::exchange(lent, {lent.begin() + 1, lent.end()}).front(); });
    std::copy(bytes.begin(), bytes.end(), buffer->data);
    in->longData(*buffer, static_cast<std::uint32_t>(bytes.size()), false);
  }
  void giveBack() {
    for (LongBuffer* buffer : locked([&] { return std::exchange(lent, {}); })) in->longData(*buffer, 0, false);
  }
  void finishLong() {
    if (LongBuffer* buffer = locked([&] { return std::exchange(sending, nullptr); })) out->longDone(*buffer);
  }
};

FakeWinMm* fake = nullptr;
using Lock = std::unique_lock<std::mutex>;

Result caps(const Names& names, unsigned id, winmm::DeviceName& to) {
  if (!names.at(id)) return winmm::kBadDeviceId;
  std::copy_n(names[id]->begin(), std::min(names[id]->size(), to.size()), to.begin());
  return winmm::kNoError;
}
template <class Events, class Handle>
Result opened(const char* name, Handle* handle, Events* events, Events*& slot) {
  return fake->on(name, [&](Lock&) { slot = events, ++fake->openDevices, *handle = reinterpret_cast<Handle>(fake); });
}
Result prepare(const char* name, LongBuffer* buffer) {
  return fake->on(name, [&](Lock&) { fake->prepared.insert(buffer); });
}
Result unprepare(const char* name, LongBuffer* buffer) {
  fake->on(name, [](Lock&) {});
  return fake->locked([&] {
    if (std::count(fake->lent.begin(), fake->lent.end(), buffer) || buffer == fake->sending)
      return winmm::kStillPlaying;
    return fake->prepared.erase(buffer) ? winmm::kNoError : winmm::kUnprepared;
  });
}
Result plain(const char* name) {
  return fake->on(name, [](Lock&) {});
}
Result closed(const char* name) {
  return fake->on(name, [](Lock&) { --fake->openDevices; });
}

const winmm::WinMmApi kFakeApi{
    .midiInGetNumDevs = [] { return static_cast<unsigned>(fake->inNames.size()); },
    .midiInGetDevCapsW = [](unsigned id, winmm::DeviceName& to) { return caps(fake->inNames, id, to); },
    .midiInOpen = [](winmm::InHandle* h, unsigned,
                     winmm::InputEvents* e) { return opened("midiInOpen", h, e, fake->in); },
    .midiInPrepareHeader = [](winmm::InHandle, LongBuffer* b) { return prepare("midiInPrepareHeader", b); },
    .midiInUnprepareHeader = [](winmm::InHandle, LongBuffer* b) { return unprepare("midiInUnprepareHeader", b); },
    .midiInAddBuffer =
        [](winmm::InHandle, LongBuffer* b) {
          return fake->on("midiInAddBuffer", [&](Lock& lock) {
            fake->changed.wait_for(lock, kWatchdog, [] { return !fake->holdAdds; });
            fake->lent.push_back(b);
          });
        },
    .midiInStart = [](winmm::InHandle) { return plain("midiInStart"); },
    .midiInStop = [](winmm::InHandle) { return plain("midiInStop"); },
    .midiInReset =
        [](winmm::InHandle) {
          const Result result = plain("midiInReset");
          if (!fake->resetKeepsBuffers) fake->giveBack();  // from inside the call, as winmm may
          return result;
        },
    .midiInClose = [](winmm::InHandle) { return closed("midiInClose"); },
    .midiOutGetNumDevs = [] { return static_cast<unsigned>(fake->outNames.size()); },
    .midiOutGetDevCapsW = [](unsigned id, winmm::DeviceName& to) { return caps(fake->outNames, id, to); },
    .midiOutOpen = [](winmm::OutHandle* h, unsigned,
                      winmm::OutputEvents* e) { return opened("midiOutOpen", h, e, fake->out); },
    .midiOutShortMsg =
        [](winmm::OutHandle, std::uint32_t packed) {
          fake->locked([&] { fake->shortSent.push_back(packed); });
          return plain("midiOutShortMsg");
        },
    .midiOutPrepareHeader = [](winmm::OutHandle, LongBuffer* b) { return prepare("midiOutPrepareHeader", b); },
    .midiOutUnprepareHeader = [](winmm::OutHandle, LongBuffer* b) { return unprepare("midiOutUnprepareHeader", b); },
    .midiOutLongMsg =
        [](winmm::OutHandle, LongBuffer* b) {
          const Result result = fake->on("midiOutLongMsg", [&](Lock&) {
            fake->longSent.emplace_back(b->data, b->data + b->length);
            fake->sending = b;
          });
          if (fake->doneInsideLongMsg) fake->finishLong();  // as some drivers do
          return result;
        },
    .midiOutReset =
        [](winmm::OutHandle) {
          const Result result = plain("midiOutReset");
          fake->finishLong();
          return result;
        },
    .midiOutClose = [](winmm::OutHandle) { return closed("midiOutClose"); },
};

// A call on a thread of its own, so that the test can see whether it waits; one that
// has not returned after kWatchdog ends the program. The thread is joined: under wine,
// new threads were seen to stall for good after detached ones had ended.
struct Call {
  explicit Call(std::function<MMRESULT()> work)
      : task(std::move(work)), done(task.get_future()), thread(std::ref(task)) {}
  ~Call() {
    result();
    thread.join();
  }
  bool returnedWithin(std::chrono::milliseconds limit) { return done.wait_for(limit) == std::future_status::ready; }
  MMRESULT result() {
    if (!returnedWithin(kWatchdog)) {
      std::fprintf(stderr, "watchdog: a call did not return\n");
      std::abort();
    }
    return done.get();
  }
  std::packaged_task<MMRESULT()> task;
  std::shared_future<MMRESULT> done;
  std::thread thread;
};

class WinMm : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = &fake_;
    install(kWatchdog);
  }
  void TearDown() override {
    installMidiBackends({});
    EXPECT_EQ(fake_.openDevices, 0);
    EXPECT_TRUE(fake_.prepared.empty());
    fake = nullptr;
  }
  // A long message may take `sendGrace` before the backend resets the output.
  void install(std::chrono::milliseconds sendGrace) {
    std::vector<std::unique_ptr<MidiBackend>> backends;
    backends.push_back(std::make_unique<WinMmBackend>(kFakeApi, sendGrace));
    installMidiBackends(std::move(backends));
  }
  void openBoth() {
    ASSERT_EQ(midiInOpen(&in_, 0, recorder_.inCallback(), recorder_.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutOpen(&out_, 0, recorder_.outCallback(), recorder_.instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
  }
  MMRESULT closeBoth() {
    return Call([in = in_, out = out_] { return midiOutClose(out) | midiInClose(in); }).result();
  }

  FakeWinMm fake_;
  Recorder recorder_;
  HMIDIIN in_ = nullptr;
  HMIDIOUT out_ = nullptr;
};

TEST_F(WinMm, FailedOpensReturnOurCodeAndLeaveNothingAtTheSystem) {
  // The call that fails, winmm's code, ours. 12 is a winmm code we do not know.
  const std::tuple<const char*, Result, MMRESULT> cases[] = {
      {"midiOutOpen", 4, MMSYSERR_ALLOCATED},     {"midiOutOpen", 12, MMSYSERR_ERROR},
      {"midiInOpen", 68, MIDIERR_NODEVICE},       {"midiInOpen", 999, MMSYSERR_ERROR},
      {"midiInPrepareHeader", 7, MMSYSERR_NOMEM}, {"midiInAddBuffer", 11, MMSYSERR_INVALPARAM},
      {"midiInStart", 6, MMSYSERR_NODRIVER}};
  for (const auto& [call, theirs, ours] : cases) {
    SCOPED_TRACE(std::string(call) + " " + std::to_string(theirs));
    fake_.results = {{call, theirs}};
    const MMRESULT result = Call([&] {
                              return std::string_view(call).starts_with("midiOut")
                                         ? midiOutOpen(&out_, 0, 0, 0, CALLBACK_NULL)
                                         : midiInOpen(&in_, 0, 0, 0, CALLBACK_NULL);
                            }).result();
    EXPECT_EQ(result, ours);
    EXPECT_TRUE(!out_ && !in_ && fake_.openDevices == 0 && fake_.prepared.empty() && fake_.lent.empty());
  }
}

TEST_F(WinMm, NamesComeInUtf8AndAFailingCapsCallGivesNone) {
  fake_.inNames = {u"USB MIDI In", u"シンセサイザー 1", std::nullopt, u"Façade \xD800!"};
  fake_.outNames = {u"0123456789ABCDEF0123456789abcdef"};  // fills the name: no NUL
  ASSERT_EQ(midiInGetNumDevs(), 4u);
  ASSERT_EQ(midiOutGetNumDevs(), 1u);
  const char* expected[] = {"USB MIDI In", "シンセサイザー 1", nullptr, "Façade \xEF\xBF\xBD!"};
  for (UINT id = 0; id < 4; ++id) {
    MIDIINCAPS caps;
    EXPECT_EQ(midiInGetDevCaps(id, &caps), expected[id] ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER) << id;
    EXPECT_EQ(caps.szPname, expected[id] ? expected[id] : "") << id;
  }
  MIDIOUTCAPS caps;
  ASSERT_EQ(midiOutGetDevCaps(0, &caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szPname, "0123456789ABCDEF0123456789abcdef");
}

TEST_F(WinMm, ShortMessagesArePackedBothWays) {
  openBoth();
  // Out: note on; running status; program change with junk in the unused byte; clock.
  for (DWORD packed : {0x00403C90u, 0x00004038u, 0x00FF05C0u, 0x000000F8u}) {
    EXPECT_EQ(midiOutShortMsg(out_, packed), MMSYSERR_NOERROR);
  }
  fake_.results = {{"midiOutShortMsg", 67}};
  EXPECT_EQ(midiOutShortMsg(out_, 0x00403C80), MIDIERR_NOTREADY);
  EXPECT_EQ(fake_.shortSent, (std::vector<std::uint32_t>{0x00403C90, 0x00403890, 0x000005C0, 0xF8, 0x00403C80}));

  // In: each with what is reported, 0 for nothing (a data byte or F0 cannot start one).
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  const std::pair<std::uint32_t, DWORD_PTR> cases[] = {
      {0x00403C90, 0x00403C90}, {0x007F05C0, 0x05C0}, {0x007F05D0, 0x05D0}, {0x123456F8, 0xF8},
      {0x007F12F2, 0x007F12F2}, {0x000004F3, 0x04F3}, {0x00000040, 0},      {0x000000F0, 0}};
  std::vector<DWORD_PTR> expected;
  for (const auto& [fromSystem, reported] : cases) {
    fake_.in->shortData(fromSystem);
    if (reported) expected.push_back(reported);
  }
  std::vector<DWORD_PTR> reported;
  for (const Note& note : recorder_.notes()) reported.push_back(note.message == MM_MIM_DATA ? note.param1 : 0);
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(closeBoth(), MMSYSERR_NOERROR);
}

TEST_F(WinMm, ALongMessageIsDoneOnlyWhenTheSystemSaysSo) {
  openBoth();
  const std::size_t opened = fake_.calls.size();
  const Bytes bytes = sysex(300);
  Header message(bytes);
  ASSERT_EQ(midiOutPrepareHeader(out_, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(out_, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_TRUE(fake_.waitUntil([&] { return fake_.sending != nullptr; }));
  EXPECT_EQ(recorder_.count(), 0u);
  fake_.finishLong();
  ASSERT_TRUE(recorder_.waitFor(1));
  EXPECT_EQ(recorder_.notes()[0].message, MM_MOM_DONE);
  EXPECT_EQ(fake_.longSent, std::vector<Bytes>{bytes});

  fake_.doneInsideLongMsg = true;
  ASSERT_EQ(midiOutLongMsg(out_, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.waitFor(2));
  EXPECT_EQ(closeBoth(), MMSYSERR_NOERROR);
  const Calls sent(fake_.calls.begin() + opened, fake_.calls.begin() + opened + 6);
  EXPECT_EQ(sent, (Calls{"midiOutPrepareHeader", "midiOutLongMsg", "midiOutUnprepareHeader", "midiOutPrepareHeader",
                         "midiOutLongMsg", "midiOutUnprepareHeader"}));
}

TEST_F(WinMm, ALongMessageHeldTooLongIsTakenBackByAReset) {
  install(50ms);
  openBoth();
  const std::size_t opened = fake_.calls.size();
  Header message(sysex(20));
  ASSERT_EQ(midiOutPrepareHeader(out_, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(out_, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_TRUE(recorder_.waitFor(1));
  const Calls sent(fake_.calls.begin() + opened, fake_.calls.end());
  EXPECT_EQ(sent, (Calls{"midiOutPrepareHeader", "midiOutLongMsg", "midiOutReset", "midiOutUnprepareHeader"}));
  EXPECT_EQ(closeBoth(), MMSYSERR_NOERROR);
}

TEST_F(WinMm, LongDataInPiecesBecomesOneSysexAndTheBuffersGoBack) {
  openBoth();
  Header header(4096);
  ASSERT_EQ(midiInPrepareHeader(in_, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(in_, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  // Bit 7 in a text byte: the message still arrives whole.
  Bytes message = sysex(2500);
  message[1500] = 0x82;
  for (std::size_t at = 0; at < message.size(); at += 1024) {
    fake_.receive(Bytes(message.begin() + at, message.begin() + std::min(at + 1024, message.size())));
    EXPECT_EQ(fake_.lent.size(), 4u);
  }
  ASSERT_EQ(recorder_.count(), 1u);
  EXPECT_EQ(recorder_.notes()[0].message, MM_MIM_LONGDATA);
  EXPECT_EQ(recorder_.notes()[0].bytes, message);
  EXPECT_EQ(closeBoth(), MMSYSERR_NOERROR);
}

TEST_F(WinMm, CloseWaitsForABufferBeingLentAgainAndForEveryBufferToComeBack) {
  openBoth();
  fake_.holdAdds = true;
  fake_.resetKeepsBuffers = true;
  Call arrived([&] { return fake_.receive(sysex(8)), MMSYSERR_NOERROR; });
  ASSERT_TRUE(fake_.waitUntil([&] { return fake_.calls.back() == "midiInAddBuffer"; }));
  const HMIDIIN in = in_;
  Call closing([in] { return midiInClose(in); });
  // The buffer being lent again must be in the system before the reset, or it stays there.
  EXPECT_FALSE(closing.returnedWithin(100ms));
  fake_.locked([&] { return fake_.holdAdds = false; });
  fake_.changed.notify_all();
  ASSERT_TRUE(fake_.waitUntil([&] { return fake_.calls.back() == "midiInReset"; }));
  EXPECT_FALSE(closing.returnedWithin(100ms));
  fake_.giveBack();  // empty, as after a reset: kept, not lent again
  EXPECT_EQ(closing.result(), MMSYSERR_NOERROR);
  EXPECT_EQ(arrived.result(), MMSYSERR_NOERROR);
  const Calls tail(fake_.calls.end() - 8, fake_.calls.end());
  EXPECT_EQ(tail, (Calls{"midiInAddBuffer", "midiInStop", "midiInReset", "midiInUnprepareHeader",
                         "midiInUnprepareHeader", "midiInUnprepareHeader", "midiInUnprepareHeader", "midiInClose"}));
  EXPECT_EQ(midiOutClose(out_), MMSYSERR_NOERROR);
}

TEST(WinMmSystem, TheRealTableReachesWinmm) {
  const winmm::WinMmApi& api = winmm::realWinMmApi();
  const unsigned outputs = api.midiOutGetNumDevs();
  winmm::DeviceName name{};
  EXPECT_NE(api.midiOutGetDevCapsW(outputs + 3, name), winmm::kNoError);
  winmm::OutHandle handle = nullptr;
  EXPECT_EQ(winmm::fromWinMm(api.midiOutOpen(&handle, outputs + 3, nullptr)), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(handle, nullptr);
}

}  // namespace
}  // namespace tonelink::test
