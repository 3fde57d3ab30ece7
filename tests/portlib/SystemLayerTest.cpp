// The multimedia MIDI operations over test backends: device ids across backends,
// header rules, completion of long messages through both kinds of notification,
// and how input bytes become notifications and filled headers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "tests/portlib/MidiTestSupport.h"
#include "tests/portlib/TestBackend.h"

namespace tonelink::test {
namespace {

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

// Two backends: "A" with two inputs and two outputs, then "B" with one input and
// three outputs.
class SystemLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    auto a = std::make_unique<TestBackend>(std::vector<std::string>{"A in 0", "A in 1"},
                                           std::vector<std::string>{"A out 0", "A out 1"});
    auto b = std::make_unique<TestBackend>(std::vector<std::string>{"B in 0"},
                                           std::vector<std::string>{"B out 0", "B out 1", "B out 2"});
    a_ = a.get();
    b_ = b.get();
    std::vector<std::unique_ptr<MidiBackend>> backends;
    backends.push_back(std::move(a));
    backends.push_back(std::move(b));
    installMidiBackends(std::move(backends));
  }
  void TearDown() override { installMidiBackends({}); }

  // Opens output `id` with a function callback into `recorder`.
  HMIDIOUT openOut(UINT id, Recorder& recorder) {
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(midiOutOpen(&handle, id, recorder.outCallback(), recorder.instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }
  HMIDIIN openIn(UINT id, Recorder& recorder) {
    HMIDIIN handle = nullptr;
    EXPECT_EQ(midiInOpen(&handle, id, recorder.inCallback(), recorder.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    return handle;
  }

  TestBackend* a_ = nullptr;
  TestBackend* b_ = nullptr;
};

std::string outName(UINT id) {
  MIDIOUTCAPS caps;
  return midiOutGetDevCaps(id, &caps) == MMSYSERR_NOERROR ? caps.szPname : "<failed>";
}

std::string inName(UINT id) {
  MIDIINCAPS caps;
  return midiInGetDevCaps(id, &caps) == MMSYSERR_NOERROR ? caps.szPname : "<failed>";
}

// ---- devices ---------------------------------------------------------------

TEST_F(SystemLayer, DeviceIdsRunThroughTheBackendsInOrder) {
  ASSERT_EQ(midiOutGetNumDevs(), 5u);
  ASSERT_EQ(midiInGetNumDevs(), 3u);
  EXPECT_EQ(outName(0), "A out 0");
  EXPECT_EQ(outName(1), "A out 1");
  EXPECT_EQ(outName(2), "B out 0");
  EXPECT_EQ(outName(4), "B out 2");
  EXPECT_EQ(inName(1), "A in 1");
  EXPECT_EQ(inName(2), "B in 0");

  // Output id 3 is B's second output; input id 2 is B's first input.
  Recorder recorder;
  HMIDIOUT out = openOut(3, recorder);
  HMIDIIN in = openIn(2, recorder);
  ASSERT_NE(out, nullptr);
  ASSERT_NE(in, nullptr);
  EXPECT_TRUE(b_->output(1)->isOpen());
  EXPECT_FALSE(a_->output(1)->isOpen());
  EXPECT_TRUE(b_->input(0)->isOpen());
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_FALSE(b_->output(1)->isOpen());
  EXPECT_EQ(b_->output(1)->closeCount(), 1u);
}

TEST_F(SystemLayer, IdsPastTheLastDeviceAreBad) {
  ASSERT_EQ(midiOutGetNumDevs(), 5u);
  MIDIOUTCAPS outCaps;
  MIDIINCAPS inCaps;
  EXPECT_EQ(midiOutGetDevCaps(5, &outCaps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiInGetDevCaps(3, &inCaps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midiOutGetDevCaps(0xFFFFFFFFu, &outCaps), MMSYSERR_BADDEVICEID);

  HMIDIOUT out = reinterpret_cast<HMIDIOUT>(1);
  EXPECT_EQ(midiOutOpen(&out, 5, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(out, nullptr);
  HMIDIIN in = reinterpret_cast<HMIDIIN>(1);
  EXPECT_EQ(midiInOpen(&in, 3, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(in, nullptr);
}

TEST_F(SystemLayer, CountsAndNamesChangeOnlyWhenTheDevicesAreCountedAgain) {
  ASSERT_EQ(midiOutGetNumDevs(), 5u);
  a_->setOutputNames({"A out 0"});
  // Until the next count, positions stay as they were.
  EXPECT_EQ(outName(2), "B out 0");
  ASSERT_EQ(midiOutGetNumDevs(), 4u);
  EXPECT_EQ(outName(1), "B out 0");
  MIDIOUTCAPS caps;
  EXPECT_EQ(midiOutGetDevCaps(4, &caps), MMSYSERR_BADDEVICEID);
}

TEST_F(SystemLayer, AFailingCapabilityQueryFailsOnlyThatDevice) {
  b_->failOutputCaps(1);
  a_->failInputCaps(0);
  MIDIOUTCAPS outCaps;
  MIDIINCAPS inCaps;
  EXPECT_EQ(midiOutGetDevCaps(3, &outCaps), MMSYSERR_NODRIVER);
  EXPECT_EQ(midiInGetDevCaps(0, &inCaps), MMSYSERR_NODRIVER);
  EXPECT_EQ(outName(2), "B out 0");
  EXPECT_EQ(outName(4), "B out 2");
  EXPECT_EQ(inName(1), "A in 1");
  EXPECT_EQ(midiOutGetDevCaps(0, nullptr), MMSYSERR_INVALPARAM);
}

TEST_F(SystemLayer, OpenFailuresPassTheBackendsCodeAndLeaveNoHandle) {
  b_->failOpenOutput(0, MMSYSERR_ALLOCATED);
  a_->failOpenInput(1, MIDIERR_NODEVICE);
  HMIDIOUT out = reinterpret_cast<HMIDIOUT>(1);
  EXPECT_EQ(midiOutOpen(&out, 2, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(out, nullptr);
  HMIDIIN in = reinterpret_cast<HMIDIIN>(1);
  EXPECT_EQ(midiInOpen(&in, 1, 0, 0, CALLBACK_NULL), MIDIERR_NODEVICE);
  EXPECT_EQ(in, nullptr);

  b_->failOpenOutput(0, MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutOpen(&out, 2, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  // The test backend allows one device a position at a time.
  HMIDIOUT second = nullptr;
  EXPECT_EQ(midiOutOpen(&second, 2, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(SystemLayer, CallbackFlagsAreChecked) {
  HMIDIOUT out = nullptr;
  EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALFLAG);
  EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_THREAD), MMSYSERR_INVALFLAG);
  EXPECT_EQ(midiOutOpen(&out, 0, 1, 0, 0x00050000), MMSYSERR_INVALFLAG);
  HMIDIIN in = nullptr;
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALFLAG);
  EXPECT_FALSE(a_->output(0)->isOpen());
  EXPECT_FALSE(a_->input(0)->isOpen());
  EXPECT_EQ(midiOutOpen(nullptr, 0, 0, 0, CALLBACK_NULL), MMSYSERR_INVALPARAM);
}

TEST_F(SystemLayer, CallsWithoutAHandleFail) {
  MIDIHDR header{};
  EXPECT_EQ(midiOutShortMsg(nullptr, 0x90), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutPrepareHeader(nullptr, &header, kHeaderSize), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutLongMsg(nullptr, &header, kHeaderSize), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutUnprepareHeader(nullptr, &header, kHeaderSize), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiOutClose(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInPrepareHeader(nullptr, &header, kHeaderSize), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInAddBuffer(nullptr, &header, kHeaderSize), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInStart(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInStop(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInReset(nullptr), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midiInClose(nullptr), MMSYSERR_INVALHANDLE);
}

TEST(SystemErrorText, TextsAreCutToTheBufferAndUnknownCodesSaySo) {
  char text[MAXERRORLENGTH];
  ASSERT_EQ(midiOutGetErrorText(MMSYSERR_NOERROR, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STREQ(text, "The specified command was carried out.");
  ASSERT_EQ(midiInGetErrorText(MIDIERR_STILLPLAYING, text, sizeof text), MMSYSERR_NOERROR);
  EXPECT_STRNE(text, "");

  char small[8];
  std::memset(small, 'x', sizeof small);
  ASSERT_EQ(midiOutGetErrorText(MMSYSERR_NOERROR, small, sizeof small), MMSYSERR_NOERROR);
  EXPECT_STREQ(small, "The spe");

  EXPECT_EQ(midiOutGetErrorText(12345, text, sizeof text), MMSYSERR_BADERRNUM);
  EXPECT_EQ(midiOutGetErrorText(MMSYSERR_NOERROR, text, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutGetErrorText(MMSYSERR_NOERROR, nullptr, 10), MMSYSERR_INVALPARAM);
}

// ---- output ----------------------------------------------------------------

TEST_F(SystemLayer, ShortMessagesAreUnpackedToTheirLength) {
  Recorder recorder;
  HMIDIOUT out = openOut(0, recorder);
  ASSERT_NE(out, nullptr);
  auto port = a_->output(0);
  EXPECT_EQ(midiOutShortMsg(out, 0x00403C90), MMSYSERR_NOERROR);  // note on
  EXPECT_EQ(midiOutShortMsg(out, 0x00FF05C0), MMSYSERR_NOERROR);  // program change: one data byte
  EXPECT_EQ(midiOutShortMsg(out, 0x000000F8), MMSYSERR_NOERROR);  // clock: status only
  EXPECT_EQ(midiOutShortMsg(out, 0x00007FF2), MMSYSERR_NOERROR);  // song position: two
  // No status byte: the song position ended the running status, so the data bytes
  // go out as they are.
  EXPECT_EQ(midiOutShortMsg(out, 0x0000403C), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutShortMsg(out, 0x00004090), MMSYSERR_NOERROR);  // note on, velocity 0
  EXPECT_EQ(midiOutShortMsg(out, 0x00000038), MMSYSERR_NOERROR);  // running status
  EXPECT_EQ(port->shortMessages(), (std::vector<Bytes>{{0x90, 0x3C, 0x40},
                                                       {0xC0, 0x05},
                                                       {0xF8},
                                                       {0xF2, 0x7F, 0x00},
                                                       {0x3C, 0x40},
                                                       {0x90, 0x40, 0x00},
                                                       {0x90, 0x38, 0x00}}));

  port->setShortResult(MIDIERR_NODEVICE);
  EXPECT_EQ(midiOutShortMsg(out, 0x00403C80), MIDIERR_NODEVICE);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_TRUE(recorder.notes().empty());
}

TEST_F(SystemLayer, LongMessagesNeedAPreparedHeader) {
  Recorder recorder;
  HMIDIOUT out = openOut(0, recorder);
  ASSERT_NE(out, nullptr);
  Header message(sysex(16));
  EXPECT_EQ(midiOutLongMsg(out, &message.hdr, kHeaderSize), MIDIERR_UNPREPARED);
  EXPECT_EQ(midiOutPrepareHeader(out, &message.hdr, kHeaderSize - 1), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midiOutLongMsg(out, nullptr, kHeaderSize), MMSYSERR_INVALPARAM);

  MIDIHDR noBuffer{};
  EXPECT_EQ(midiOutPrepareHeader(out, &noBuffer, kHeaderSize), MMSYSERR_INVALPARAM);
  Header empty(std::size_t{1});
  empty.hdr.dwBufferLength = 0;
  EXPECT_EQ(midiOutPrepareHeader(out, &empty.hdr, kHeaderSize), MMSYSERR_INVALPARAM);

  ASSERT_EQ(midiOutPrepareHeader(out, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_TRUE(message.hdr.dwFlags & MHDR_PREPARED);
  ASSERT_EQ(midiOutUnprepareHeader(out, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_FALSE(message.hdr.dwFlags & MHDR_PREPARED);
  EXPECT_EQ(midiOutLongMsg(out, &message.hdr, kHeaderSize), MIDIERR_UNPREPARED);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_TRUE(a_->output(0)->messages().empty());
}

TEST_F(SystemLayer, AQueuedHeaderIsBusyUntilItsMomDone) {
  Recorder recorder;
  HMIDIOUT out = openOut(1, recorder);
  ASSERT_NE(out, nullptr);
  auto port = a_->output(1);
  const Bytes bytes = sysex(300);
  Header message(bytes);
  message.hdr.dwUser = 77;
  ASSERT_EQ(midiOutPrepareHeader(out, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(out, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_TRUE(port->waitForHeld(1, kWatchdog));

  // The transport holds it: it is in the queue and nothing is done yet.
  EXPECT_TRUE(message.hdr.dwFlags & MHDR_INQUEUE);
  EXPECT_FALSE(message.hdr.dwFlags & MHDR_DONE);
  EXPECT_EQ(midiOutUnprepareHeader(out, &message.hdr, kHeaderSize), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midiOutLongMsg(out, &message.hdr, kHeaderSize), MIDIERR_STILLPLAYING);
  EXPECT_EQ(recorder.count(), 0u);

  port->releaseOne();
  ASSERT_TRUE(recorder.waitFor(1));
  const Note done = recorder.notes()[0];
  EXPECT_EQ(done.message, MM_MOM_DONE);
  EXPECT_EQ(done.handle, reinterpret_cast<DWORD_PTR>(out));
  EXPECT_EQ(done.instance, recorder.instance());
  EXPECT_EQ(done.header, &message.hdr);
  EXPECT_TRUE(done.flags & MHDR_DONE);
  EXPECT_FALSE(done.flags & MHDR_INQUEUE);
  EXPECT_EQ(message.hdr.dwUser, 77u);
  EXPECT_EQ(port->longMessages(), std::vector<Bytes>{bytes});

  // Done: it may be sent again, or unprepared.
  ASSERT_EQ(midiOutLongMsg(out, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  port->releaseOne();
  ASSERT_TRUE(recorder.waitFor(2));
  EXPECT_EQ(midiOutUnprepareHeader(out, &message.hdr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_FALSE(port->watchdogFired());
}

TEST_F(SystemLayer, MomDoneComesThroughTheFunctionInQueueOrderOneReleaseAtATime) {
  Recorder recorder;
  HMIDIOUT out = openOut(0, recorder);
  ASSERT_NE(out, nullptr);
  auto port = a_->output(0);
  std::vector<std::unique_ptr<Header>> headers;
  for (std::uint8_t i = 0; i < 3; ++i) {
    headers.push_back(std::make_unique<Header>(sysex(20 + i, i)));
    ASSERT_EQ(midiOutPrepareHeader(out, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(port->waitForHeld(1, kWatchdog));
    EXPECT_EQ(recorder.count(), i);
    EXPECT_EQ(port->longMessages().size(), i + 1);  // the next waits behind the held one
    port->releaseOne();
    ASSERT_TRUE(recorder.waitFor(i + 1));
    EXPECT_EQ(recorder.notes()[i].header, &headers[i]->hdr);
  }
  EXPECT_EQ(port->longMessages(), (std::vector<Bytes>{sysex(20, 0), sysex(21, 1), sysex(22, 2)}));
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(SystemLayer, MomDoneComesThroughTheThreadQueue) {
  ThreadMessageQueue queue;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, 4, reinterpret_cast<DWORD_PTR>(&queue), 0, CALLBACK_THREAD), MMSYSERR_NOERROR);
  auto port = b_->output(2);
  port->setAutoRelease(true);
  Header first(sysex(10));
  Header second(sysex(2000));
  for (Header* h : {&first, &second}) {
    ASSERT_EQ(midiOutPrepareHeader(out, &h->hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &h->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
  for (Header* h : {&first, &second}) {
    const auto message = nextMessage(queue);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->message, MM_MOM_DONE);
    EXPECT_EQ(message->wParam, reinterpret_cast<DWORD_PTR>(out));
    EXPECT_EQ(message->lParam, reinterpret_cast<DWORD_PTR>(&h->hdr));
  }
  EXPECT_TRUE(second.hdr.dwFlags & MHDR_DONE);
  EXPECT_EQ(port->longMessages(), (std::vector<Bytes>{sysex(10), sysex(2000)}));
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_FALSE(queue.peek().has_value());
}

TEST_F(SystemLayer, ClosingCompletesEveryQueuedHeader) {
  Recorder recorder;
  HMIDIOUT out = openOut(0, recorder);
  ASSERT_NE(out, nullptr);
  auto port = a_->output(0);
  std::vector<std::unique_ptr<Header>> headers;
  for (std::uint8_t i = 0; i < 4; ++i) {
    headers.push_back(std::make_unique<Header>(sysex(12, i)));
    ASSERT_EQ(midiOutPrepareHeader(out, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &headers.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
  ASSERT_TRUE(port->waitForHeld(1, kWatchdog));
  // Close waits for the held message; the ones behind it are completed unsent, or
  // sent when the sender reached them before the close.
  std::thread releaser([port] {
    port->waitForHeld(1, kWatchdog);
    port->setAutoRelease(true);
  });
  EXPECT_EQ(runWithWatchdog([out] { return midiOutClose(out); }, "midiOutClose"), MMSYSERR_NOERROR);
  releaser.join();

  const auto notes = recorder.notes();
  ASSERT_EQ(notes.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(notes[i].message, MM_MOM_DONE);
    EXPECT_EQ(notes[i].header, &headers[i]->hdr);
    EXPECT_TRUE(headers[i]->hdr.dwFlags & MHDR_DONE);
    EXPECT_FALSE(headers[i]->hdr.dwFlags & MHDR_INQUEUE);
  }
  const auto sent = port->longMessages();
  ASSERT_GE(sent.size(), 1u);
  for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], sysex(12, static_cast<std::uint8_t>(i)));
  EXPECT_EQ(port->closeCount(), 1u);
}

// ---- input -----------------------------------------------------------------

class SystemInput : public SystemLayer {
 protected:
  void SetUp() override {
    SystemLayer::SetUp();
    port_ = a_->input(0);
    in_ = openIn(0, recorder_);
    ASSERT_NE(in_, nullptr);
  }
  void TearDown() override {
    if (in_) {
      midiInReset(in_);
      EXPECT_EQ(midiInClose(in_), MMSYSERR_NOERROR);
    }
    SystemLayer::TearDown();
  }

  // Prepares and queues `count` headers of `size` bytes.
  void queueHeaders(std::size_t count, std::size_t size = 1024) {
    for (std::size_t i = 0; i < count; ++i) {
      headers_.push_back(std::make_unique<Header>(size));
      ASSERT_EQ(midiInPrepareHeader(in_, &headers_.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
      ASSERT_EQ(midiInAddBuffer(in_, &headers_.back()->hdr, kHeaderSize), MMSYSERR_NOERROR);
    }
  }

  Recorder recorder_;
  std::shared_ptr<TestInput> port_;
  HMIDIIN in_ = nullptr;
  std::vector<std::unique_ptr<Header>> headers_;
};

TEST_F(SystemInput, ShortMessagesArrivePackedAndOnlyAfterStart) {
  EXPECT_TRUE(port_->inject({0x90, 0x3C, 0x40}));  // before start: dropped
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  EXPECT_TRUE(port_->inject({0x90, 0x3C, 0x40}));
  EXPECT_TRUE(port_->inject({0xC0, 0x05}));
  EXPECT_TRUE(port_->inject({0xFE}));
  EXPECT_TRUE(port_->inject({0xB0, 0x07, 0x64, 0xE0, 0x00, 0x40}));  // two in one delivery
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 5u);
  const std::vector<DWORD_PTR> packed{0x403C90, 0x05C0, 0xFE, 0x6407B0, 0x4000E0};
  for (std::size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(notes[i].message, MM_MIM_DATA);
    EXPECT_EQ(notes[i].param1, packed[i]) << i;
    EXPECT_EQ(notes[i].handle, reinterpret_cast<DWORD_PTR>(in_));
  }
}

TEST_F(SystemInput, ALongSysexFillsTheQueuedHeadersInOrder) {
  queueHeaders(4);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  const Bytes message = sysex(3000);
  ASSERT_TRUE(port_->inject(message));
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 3u);
  Bytes joined;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(notes[i].message, MM_MIM_LONGDATA);
    EXPECT_EQ(notes[i].header, &headers_[i]->hdr);
    EXPECT_TRUE(notes[i].flags & MHDR_DONE);
    EXPECT_FALSE(notes[i].flags & MHDR_INQUEUE);
    joined.insert(joined.end(), notes[i].bytes.begin(), notes[i].bytes.end());
  }
  EXPECT_EQ(notes[0].bytes.size(), 1024u);
  EXPECT_EQ(notes[1].bytes.size(), 1024u);
  EXPECT_EQ(notes[2].bytes.size(), 952u);
  EXPECT_EQ(notes[2].bytes.back(), 0xF7);
  EXPECT_EQ(joined, message);
  // The fourth header is still queued, empty.
  EXPECT_TRUE(headers_[3]->hdr.dwFlags & MHDR_INQUEUE);
  EXPECT_EQ(headers_[3]->hdr.dwBytesRecorded, 0u);
}

TEST_F(SystemInput, ASysexThatFillsAHeaderExactlyLeavesTheNextOneForTheNextMessage) {
  queueHeaders(3);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_TRUE(port_->inject(sysex(1024, 1)));
  ASSERT_TRUE(port_->inject(sysex(1025, 2)));  // its F7 alone goes to the third header
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].bytes, sysex(1024, 1));
  EXPECT_EQ(notes[1].bytes.size(), 1024u);
  EXPECT_EQ(notes[2].bytes, Bytes{0xF7});
  EXPECT_EQ(notes[2].header, &headers_[2]->hdr);
}

TEST_F(SystemInput, ASysexMayArriveInPieces) {
  queueHeaders(2);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  const Bytes message = sysex(100);
  ASSERT_TRUE(port_->inject(std::span(message).subspan(0, 1)));
  ASSERT_TRUE(port_->inject(std::span(message).subspan(1, 60)));
  EXPECT_EQ(recorder_.count(), 0u);
  ASSERT_TRUE(port_->inject(std::span(message).subspan(61)));
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].message, MM_MIM_LONGDATA);
  EXPECT_EQ(notes[0].bytes, message);
}

TEST_F(SystemInput, WithoutAQueuedHeaderASysexIsLost) {
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_TRUE(port_->inject(sysex(50, 1)));
  EXPECT_EQ(recorder_.count(), 0u);
  queueHeaders(1);
  ASSERT_TRUE(port_->inject(sysex(40, 2)));
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].bytes, sysex(40, 2));
}

TEST_F(SystemInput, AStatusByteBreaksOffAnUnfinishedSysex) {
  queueHeaders(3);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_TRUE(port_->inject({0xF0, 0x43, 0x10, 0x01}));
  ASSERT_TRUE(port_->inject({0x90, 0x3C, 0x40}));
  // A new SysEx breaks off the one before it too, and is received whole.
  ASSERT_TRUE(port_->inject({0xF0, 0x01, 0x02, 0xF0, 0x05, 0xF7}));
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0].message, MM_MIM_LONGERROR);
  EXPECT_EQ(notes[0].header, &headers_[0]->hdr);
  EXPECT_EQ(notes[0].bytes, (Bytes{0xF0, 0x43, 0x10, 0x01}));
  EXPECT_EQ(notes[1].message, MM_MIM_DATA);
  EXPECT_EQ(notes[1].param1, 0x403C90u);
  EXPECT_EQ(notes[2].message, MM_MIM_LONGERROR);
  EXPECT_EQ(notes[2].bytes, (Bytes{0xF0, 0x01, 0x02}));
  EXPECT_EQ(notes[3].message, MM_MIM_LONGDATA);
  EXPECT_EQ(notes[3].bytes, (Bytes{0xF0, 0x05, 0xF7}));
}

TEST_F(SystemInput, ARealTimeByteInsideASysexThatComesInPiecesArrivesOnItsOwn) {
  queueHeaders(1);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_TRUE(port_->inject({0xF0, 0x01, 0xF8}));
  ASSERT_TRUE(port_->inject({0x02, 0xFE, 0x03, 0xF7}));
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].message, MM_MIM_DATA);
  EXPECT_EQ(notes[0].param1, 0xF8u);
  EXPECT_EQ(notes[1].message, MM_MIM_DATA);
  EXPECT_EQ(notes[1].param1, 0xFEu);
  EXPECT_EQ(notes[2].message, MM_MIM_LONGDATA);
  EXPECT_EQ(notes[2].bytes, (Bytes{0xF0, 0x01, 0x02, 0x03, 0xF7}));
}

TEST_F(SystemInput, ResetReturnsEveryHeaderEmpty) {
  queueHeaders(3);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInReset(in_), MMSYSERR_NOERROR);
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(notes[i].message, MM_MIM_LONGDATA);
    EXPECT_EQ(notes[i].header, &headers_[i]->hdr);
    EXPECT_TRUE(notes[i].bytes.empty());
    EXPECT_TRUE(notes[i].flags & MHDR_DONE);
    EXPECT_FALSE(notes[i].flags & MHDR_INQUEUE);
  }
  // Reset also stops input.
  queueHeaders(1);
  ASSERT_TRUE(port_->inject(sysex(10)));
  EXPECT_EQ(recorder_.count(), 3u);
  for (auto& h : headers_) {
    if (h->hdr.dwFlags & MHDR_INQUEUE) continue;
    EXPECT_EQ(midiInUnprepareHeader(in_, &h->hdr, kHeaderSize), MMSYSERR_NOERROR);
  }
}

TEST_F(SystemInput, StopReturnsAPartlyFilledHeaderAndKeepsTheEmptyOnes) {
  queueHeaders(2);
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_TRUE(port_->inject({0xF0, 0x10, 0x20}));
  ASSERT_EQ(midiInStop(in_), MMSYSERR_NOERROR);
  auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].message, MM_MIM_LONGDATA);
  EXPECT_EQ(notes[0].header, &headers_[0]->hdr);
  EXPECT_EQ(notes[0].bytes, (Bytes{0xF0, 0x10, 0x20}));
  EXPECT_TRUE(headers_[1]->hdr.dwFlags & MHDR_INQUEUE);

  // Stopped: nothing is taken. Started again: the rest of the broken message is not
  // taken for a new one.
  ASSERT_TRUE(port_->inject({0x30, 0xF7}));
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  ASSERT_TRUE(port_->inject({0x40, 0xF7, 0xF0, 0x01, 0xF7}));
  std::vector<Note> longData;
  for (const Note& note : recorder_.notes()) {
    if (carriesHeader(note.message)) longData.push_back(note);
  }
  ASSERT_EQ(longData.size(), 2u);
  EXPECT_EQ(longData[1].message, MM_MIM_LONGDATA);
  EXPECT_EQ(longData[1].header, &headers_[1]->hdr);
  EXPECT_EQ(longData[1].bytes, (Bytes{0xF0, 0x01, 0xF7}));
}

TEST_F(SystemInput, CloseFailsWhileHeadersAreQueued) {
  queueHeaders(1);
  EXPECT_EQ(midiInClose(in_), MIDIERR_STILLPLAYING);
  EXPECT_TRUE(port_->isOpen());
  EXPECT_EQ(midiInUnprepareHeader(in_, &headers_[0]->hdr, kHeaderSize), MIDIERR_STILLPLAYING);
  ASSERT_EQ(midiInReset(in_), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInUnprepareHeader(in_, &headers_[0]->hdr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in_), MMSYSERR_NOERROR);
  in_ = nullptr;
  // Closed: the transport reaches no device any more.
  EXPECT_FALSE(port_->isOpen());
  EXPECT_FALSE(port_->inject({0x90, 0x3C, 0x40}));
  EXPECT_EQ(port_->closeCount(), 1u);
}

TEST_F(SystemInput, HeaderRulesMatchOutput) {
  Header header(std::size_t{16});
  EXPECT_EQ(midiInAddBuffer(in_, &header.hdr, kHeaderSize), MIDIERR_UNPREPARED);
  ASSERT_EQ(midiInPrepareHeader(in_, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInAddBuffer(in_, &header.hdr, kHeaderSize - 1), MMSYSERR_INVALPARAM);
  ASSERT_EQ(midiInAddBuffer(in_, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInAddBuffer(in_, &header.hdr, kHeaderSize), MIDIERR_STILLPLAYING);
  ASSERT_EQ(midiInReset(in_), MMSYSERR_NOERROR);
}

TEST_F(SystemInput, AHeaderQueuedAgainFromTheCallbackTakesTheNextMessage) {
  queueHeaders(1, 64);
  recorder_.onNote([this](const Note& note) {
    if (note.message == MM_MIM_LONGDATA) midiInAddBuffer(in_, note.header, kHeaderSize);
  });
  ASSERT_EQ(midiInStart(in_), MMSYSERR_NOERROR);
  for (std::uint8_t i = 0; i < 3; ++i) ASSERT_TRUE(port_->inject(sysex(30, i)));
  const auto notes = recorder_.notes();
  ASSERT_EQ(notes.size(), 3u);
  for (std::uint8_t i = 0; i < 3; ++i) EXPECT_EQ(notes[i].bytes, sysex(30, i));
  recorder_.onNote(nullptr);
}

TEST_F(SystemLayer, InputNotificationsComeThroughTheThreadQueue) {
  ThreadMessageQueue queue;
  HMIDIIN in = nullptr;
  ASSERT_EQ(midiInOpen(&in, 2, reinterpret_cast<DWORD_PTR>(&queue), 0, CALLBACK_THREAD), MMSYSERR_NOERROR);
  Header header(std::size_t{1024});
  ASSERT_EQ(midiInPrepareHeader(in, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInAddBuffer(in, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  auto port = b_->input(0);
  // From another thread, as a backend's input thread would.
  std::thread wire([port] {
    port->inject({0x80, 0x3C, 0x00});
    port->inject(sysex(200));
  });
  wire.join();
  auto message = nextMessage(queue);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->message, MM_MIM_DATA);
  EXPECT_EQ(message->wParam, reinterpret_cast<DWORD_PTR>(in));
  EXPECT_EQ(message->lParam, 0x3C80u);
  message = nextMessage(queue);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->message, MM_MIM_LONGDATA);
  EXPECT_EQ(message->lParam, reinterpret_cast<DWORD_PTR>(&header.hdr));
  EXPECT_EQ(header.recorded(), sysex(200));
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

TEST_F(SystemLayer, InjectionFromAnotherThreadEndsWithTheClose) {
  Recorder recorder;
  HMIDIIN in = openIn(1, recorder);
  ASSERT_NE(in, nullptr);
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  auto port = a_->input(1);
  std::atomic<bool> stop{false};
  std::atomic<unsigned> afterClose{0};
  std::atomic<bool> closed{false};
  std::thread wire([&] {
    while (!stop) {
      // Read before the injection: when it was set, the close had returned.
      const bool wasClosed = closed;
      if (port->inject({0x90, 0x3C, 0x40}) && wasClosed) ++afterClose;
      std::this_thread::yield();
    }
  });
  ASSERT_TRUE(recorder.waitFor(10));
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
  closed = true;
  const std::size_t atClose = recorder.count();
  stop = true;
  wire.join();
  EXPECT_EQ(afterClose, 0u);
  EXPECT_EQ(recorder.count(), atClose);
}

}  // namespace
}  // namespace tonelink::test
