// The built-in virtual instrument through the midi* functions: it answers what the
// output device sends on the input device, opens and closes any number of times,
// and takes its file memory from the environment.
#include <gtest/gtest.h>

#include <unistd.h>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/protocol/wire/SysexCatalogue.h"
#include "portlib/system/virtual/VirtualInstrumentBackend.h"
#include "tests/portlib/MidiTestSupport.h"

namespace tonelink::test {
namespace {

using quaverly::protocol::buildMessage;
using quaverly::protocol::matches;
using quaverly::protocol::SysexId;

constexpr UINT kHeaderSize = sizeof(MIDIHDR);

// Sets an environment variable for one test and puts the old value back.
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

// Both devices of the virtual instrument, opened with function callbacks, and input
// headers queued that the recorder queues again as they come back.
class Session {
 public:
  Session() {
    EXPECT_EQ(midiOutOpen(&out, 0, outRecorder.outCallback(), outRecorder.instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(midiInOpen(&in, 0, inRecorder.inCallback(), inRecorder.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    if (!in || !out) return;
    inRecorder.onNote([this](const Note& note) {
      if (note.message == MM_MIM_LONGDATA && !note.bytes.empty()) midiInAddBuffer(in, note.header, kHeaderSize);
    });
    for (auto& h : headers) {
      h = std::make_unique<Header>(std::size_t{1024});
      EXPECT_EQ(midiInPrepareHeader(in, &h->hdr, kHeaderSize), MMSYSERR_NOERROR);
      EXPECT_EQ(midiInAddBuffer(in, &h->hdr, kHeaderSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  }

  ~Session() {
    closeIn();
    closeOut();
  }

  bool ok() const { return in && out; }

  // Sends one long message and waits for its MOM_DONE.
  void send(const Bytes& message) {
    Header header(message);
    ASSERT_EQ(midiOutPrepareHeader(out, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
    const std::size_t before = outRecorder.count();
    ASSERT_EQ(midiOutLongMsg(out, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_TRUE(outRecorder.waitFor(before + 1)) << "no MOM_DONE";
    EXPECT_EQ(midiOutUnprepareHeader(out, &header.hdr, kHeaderSize), MMSYSERR_NOERROR);
  }

  // The `n`th SysEx that arrived (from 0), waiting for it; empty when none came.
  Bytes received(std::size_t n) {
    std::vector<Bytes> messages;
    inRecorder.waitUntil([&](const std::vector<Note>& notes) {
      messages.clear();
      for (const Note& note : notes) {
        if (note.message == MM_MIM_LONGDATA && !note.bytes.empty()) messages.push_back(note.bytes);
      }
      return messages.size() > n;
    });
    return messages.size() > n ? messages[n] : Bytes{};
  }

  void closeIn() {
    if (!in) return;
    inRecorder.onNote(nullptr);
    EXPECT_EQ(midiInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
    in = nullptr;
  }
  void closeOut() {
    if (!out) return;
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    out = nullptr;
  }

  Recorder outRecorder;
  Recorder inRecorder;
  HMIDIOUT out = nullptr;
  HMIDIIN in = nullptr;
  std::array<std::unique_ptr<Header>, 4> headers;
};

class VirtualInstrument : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<MidiBackend>> backends;
    backends.push_back(std::make_unique<VirtualInstrumentBackend>());
    installMidiBackends(std::move(backends));
  }
  void TearDown() override { installMidiBackends({}); }

  ScopedEnv memory_{"QUAVERLY_INSTRUMENT_DIR", ":memory:"};
};

TEST_F(VirtualInstrument, ListsOneDeviceEachWayByItsName) {
  ASSERT_EQ(midiOutGetNumDevs(), 1u);
  ASSERT_EQ(midiInGetNumDevs(), 1u);
  MIDIOUTCAPS outCaps;
  MIDIINCAPS inCaps;
  ASSERT_EQ(midiOutGetDevCaps(0, &outCaps), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInGetDevCaps(0, &inCaps), MMSYSERR_NOERROR);
  EXPECT_EQ(outCaps.szPname, "Quaverly Virtual Instrument");
  EXPECT_EQ(inCaps.szPname, "Quaverly Virtual Instrument");
  EXPECT_EQ(midiOutGetDevCaps(1, &outCaps), MMSYSERR_BADDEVICEID);
}

TEST_F(VirtualInstrument, AnswersAnIdentifyRequestOnTheInputDevice) {
  Session session;
  ASSERT_TRUE(session.ok());
  session.send(buildMessage(SysexId::IdentifyRequest, 0));
  const Bytes reply = session.received(0);
  ASSERT_FALSE(reply.empty()) << "no reply";
  EXPECT_TRUE(matches(SysexId::IdentifyReply, reply));
  EXPECT_EQ(reply.front(), 0xF0);
  EXPECT_EQ(reply.back(), 0xF7);
}

TEST_F(VirtualInstrument, OpensAndClosesAgainAndAgainInEitherOrder) {
  for (int round = 0; round < 4; ++round) {
    Session session;
    ASSERT_TRUE(session.ok()) << "round " << round;
    session.send(buildMessage(SysexId::IdentifyRequest, 0));
    EXPECT_TRUE(matches(SysexId::IdentifyReply, session.received(0))) << "round " << round;
    if (round % 2) {
      session.closeOut();
      session.closeIn();
    }
  }
}

TEST_F(VirtualInstrument, EachDirectionOpensOnceAtATime) {
  Session session;
  ASSERT_TRUE(session.ok());
  HMIDIOUT out = nullptr;
  HMIDIIN in = nullptr;
  EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  EXPECT_EQ(midiInOpen(&in, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
  // The output alone closes and opens again while the input stays open, and the
  // instrument still answers.
  session.closeOut();
  ASSERT_EQ(midiOutOpen(&session.out, 0, session.outRecorder.outCallback(), session.outRecorder.instance(),
                        CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  session.send(buildMessage(SysexId::IdentifyRequest, 0));
  EXPECT_TRUE(matches(SysexId::IdentifyReply, session.received(0)));
}

TEST_F(VirtualInstrument, AnswersWithoutAnOpenInputGoNowhere) {
  {
    Recorder recorder;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, 0, recorder.outCallback(), recorder.instance(), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    Header request(buildMessage(SysexId::IdentifyRequest, 0));
    ASSERT_EQ(midiOutPrepareHeader(out, &request.hdr, kHeaderSize), MMSYSERR_NOERROR);
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(midiOutLongMsg(out, &request.hdr, kHeaderSize), MMSYSERR_NOERROR);
      ASSERT_TRUE(recorder.waitFor(static_cast<std::size_t>(i) + 1));
    }
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  }
  // A new session gets exactly its own answer.
  Session session;
  ASSERT_TRUE(session.ok());
  session.send(buildMessage(SysexId::IdentifyRequest, 0));
  EXPECT_TRUE(matches(SysexId::IdentifyReply, session.received(0)));
}

TEST_F(VirtualInstrument, ClosingTheInputWhileAnswersStreamStopsThemSafely) {
  for (int round = 0; round < 3; ++round) {
    Session session;
    ASSERT_TRUE(session.ok());
    Header request(buildMessage(SysexId::IdentifyRequest, 0));
    ASSERT_EQ(midiOutPrepareHeader(session.out, &request.hdr, kHeaderSize), MMSYSERR_NOERROR);
    for (int i = 0; i < 20; ++i) {
      ASSERT_EQ(midiOutLongMsg(session.out, &request.hdr, kHeaderSize), MMSYSERR_NOERROR);
      ASSERT_TRUE(session.outRecorder.waitFor(static_cast<std::size_t>(i) + 1));
    }
    // Answers are still coming while the input closes; none may arrive after it.
    session.closeIn();
    const std::size_t atClose = session.inRecorder.count();
    session.closeOut();  // ends the instrument, and with it every answer
    EXPECT_EQ(session.inRecorder.count(), atClose);
  }
}

TEST_F(VirtualInstrument, AnswersOnTheDeviceNumberTheEnvironmentSets) {
  ScopedEnv device("QUAVERLY_INSTRUMENT_DEVICE", "3");
  Session session;
  ASSERT_TRUE(session.ok());
  session.send(buildMessage(SysexId::IdentifyRequest, 3));
  const Bytes reply = session.received(0);
  ASSERT_GE(reply.size(), 3u);
  EXPECT_TRUE(matches(SysexId::IdentifyReply, reply));
  EXPECT_EQ(reply[2], 0x50 + 3);
}

TEST_F(VirtualInstrument, ADirectoryMemoryIsMadeAndGetsTheDemoSongs) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("tonelink-vi-" + std::to_string(::getpid())) / "drive";
  fs::remove_all(root.parent_path());
  ScopedEnv dir("QUAVERLY_INSTRUMENT_DIR", root.string());
  {
    Session session;
    ASSERT_TRUE(session.ok());
    EXPECT_TRUE(fs::is_directory(root));
    EXPECT_FALSE(fs::is_empty(root));
    session.send(buildMessage(SysexId::IdentifyRequest, 0));
    EXPECT_TRUE(matches(SysexId::IdentifyReply, session.received(0)));
  }
  // A path that cannot become a directory fails the open, with a code.
  const fs::path blocker = root.parent_path() / "file";
  { std::ofstream(blocker) << "x"; }
  ScopedEnv blocked("QUAVERLY_INSTRUMENT_DIR", (blocker / "drive").string());
  HMIDIOUT out = nullptr;
  EXPECT_EQ(midiOutOpen(&out, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ERROR);
  EXPECT_EQ(out, nullptr);
  fs::remove_all(root.parent_path());
}

}  // namespace
}  // namespace tonelink::test
