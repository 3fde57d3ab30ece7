// The connection check and the disconnect: which ports are opened and closed in which
// order, which device numbers are tried, what the user is told, and what the
// instrument is sent on the way out. The check's fixed delays are left out here,
// except on the virtual clock, which also pins its answer limits.
#include <gtest/gtest.h>

#include "tests/link/LinkHarness.h"
#include "tests/link/VirtualClock.h"

namespace quaverly::linktest {
namespace {

using namespace protocol;
using Kind = PortEvent::Kind;

Bytes message(SysexId id, std::uint8_t device = 0) { return buildMessage(id, device); }

// The log with the kinds that matter for the order of a connection, messages sent
// reduced to their catalogue name and device number.
std::vector<std::string> outline(const std::vector<PortEvent>& events) {
  std::vector<std::string> lines;
  for (const PortEvent& e : events) {
    switch (e.kind) {
      case Kind::InputOpen:
        lines.push_back("input open");
        break;
      case Kind::InputClose:
        lines.push_back("input close");
        break;
      case Kind::InputStart:
        lines.push_back("input start");
        break;
      case Kind::InputStop:
        lines.push_back("input stop");
        break;
      case Kind::OutputOpen:
        lines.push_back("output open");
        break;
      case Kind::OutputClose:
        lines.push_back("output close");
        break;
      case Kind::WaitShown:
        lines.push_back("wait window: " + e.text);
        break;
      case Kind::WaitClosed:
        lines.push_back("wait window closed");
        break;
      case Kind::Shown:
        lines.push_back("message " + std::to_string(messageNumber(e.text)));
        break;
      case Kind::Sent: {
        std::string name = "?";
        for (SysexId id : {SysexId::IdentifyRequest, SysexId::RemoteMode, SysexId::RemoteCheck}) {
          if (is(id, e.bytes)) name = std::string(sysexName(id));
        }
        if (is(SysexId::RemoteMode, e.bytes)) name += e.bytes[7] ? " on" : " off";
        lines.push_back(name + " to " + std::to_string(e.bytes[2] & 0x0F));
        break;
      }
      case Kind::Paused:
        lines.push_back("pause " + std::to_string(e.pause.count()) + " ms");
        break;
      case Kind::Delivered:
        break;
    }
  }
  return lines;
}

std::vector<std::string> identifyRequests(int count) {
  std::vector<std::string> lines;
  for (int d = 0; d < count; ++d) lines.push_back("IdentifyRequest to " + std::to_string(d));
  return lines;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Connection : public ::testing::Test {
 protected:
  FakePortLibrary ports;
  MessageCapture messages{ports};
  RecordingUi ui{ports};
  Link& link = Link::instance();
  const std::string waitWindow = "wait window: " + std::string(messageText(MessageId{2}));
};

TEST_F(Connection, FindsTheInstrumentOnDeviceFiveAndAddressesItThereFromThenOn) {
  ports.setReceiver([&](const Bytes& m) {
    if (m[2] != 0x55) return;
    if (is(SysexId::IdentifyRequest, m)) ports.deliver(buildIdentifyReply(5, 0x12, 0x34));
    if (is(SysexId::RemoteCheck, m)) ports.deliver(message(SysexId::RemoteReady, 5));
    if (is(SysexId::DeleteFile, m)) ports.deliver(message(SysexId::CommandAccepted, 5));
  });
  auto timings = quickTimings();
  timings.identifyLimit = milliseconds(50);
  ASSERT_NE(linkConnect(link, ui, timings), 0);
  EXPECT_EQ(link.state().deviceNumber, 5);
  EXPECT_EQ(outline(ports.events()),
            concat(concat({"input open", "output open", "input start", waitWindow}, identifyRequests(6)),
                   {"RemoteMode on to 5", "RemoteCheck to 5", "wait window closed"}));
  EXPECT_GT(ui.pumps(), 0) << "the wait window was never let process its events";
  EXPECT_TRUE(messages.shown().empty());

  EXPECT_EQ(deleteFile(link, "0:\\A.MID"), kLinkSuccess);
  EXPECT_EQ(ports.sent().back()[2], 0x55);

  EXPECT_EQ(linkDisconnect(link), 1);
  const auto lines = outline(ports.events());
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{"input stop", "RemoteMode off to 5", "input close", "output close"}));
}

TEST_F(Connection, ANineByteIdentifyReplyIsNoAnswer) {
  ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::IdentifyRequest, m) && m[2] == 0x50) {
      ports.deliver(Bytes{0xF0, 0x43, 0x50, 0x00, 0x00, 0x00, 0x02, 0x00, 0xF7});
    }
    if (m[2] != 0x51) return;
    if (is(SysexId::IdentifyRequest, m)) ports.deliver(buildIdentifyReply(1, 0x7F, 0x00));
    if (is(SysexId::RemoteCheck, m)) ports.deliver(message(SysexId::RemoteReady, 1));
  });
  auto timings = quickTimings();
  timings.identifyLimit = milliseconds(100);
  ASSERT_NE(linkConnect(link, ui, timings), 0);
  EXPECT_EQ(link.state().deviceNumber, 1);
}

TEST_F(Connection, SilenceShowsMessage3AndStillTakesDevice0OutOfTransferMode) {
  link.state().deviceNumber = 7;  // from an earlier connection
  // A reply left over from before is not taken for an answer.
  ports.deliver(buildIdentifyReply(0, 0, 0));
  auto timings = quickTimings();
  timings.identifyLimit = milliseconds(20);
  EXPECT_EQ(linkConnect(link, ui, timings), 0);
  EXPECT_EQ(messages.shown(), std::vector<int>{3});
  EXPECT_EQ(
      outline(ports.events()),
      concat(concat({"input open", "output open", "input start", waitWindow}, identifyRequests(16)),
             {"wait window closed", "message 3", "input stop", "RemoteMode off to 0", "input close", "output close"}));
  EXPECT_GT(ui.pumps(), 0);
}

TEST(ConnectionToTheInstrument, RefusedTransferModeShowsMessage4AndTakesTheInstrumentOutOfIt) {
  auto options = LinkHarness::fastOptions();
  options.panelAllowsTransfer = false;
  LinkHarness h(options);
  MessageCapture messages(h.ports());
  RecordingUi ui(h.ports());
  auto timings = quickTimings();
  timings.remoteCheckLimit = milliseconds(200);
  EXPECT_EQ(linkConnect(h.link(), ui, timings), 0);
  EXPECT_EQ(messages.shown(), std::vector<int>{4});
  EXPECT_EQ(outline(h.ports().events()),
            concat(concat({"input open", "output open", "input start",
                           "wait window: " + std::string(messageText(MessageId{2}))},
                          identifyRequests(1)),
                   {"RemoteMode on to 0", "RemoteCheck to 0", "wait window closed", "message 4", "input stop",
                    "RemoteMode off to 0", "input close", "output close"}));
}

TEST_F(Connection, AnInputPortInUseShowsMessage1AndSendsNothing) {
  ports.setInputOpenFails(true);
  EXPECT_EQ(linkConnect(link, ui, quickTimings()), 0);
  EXPECT_EQ(outline(ports.events()), (std::vector<std::string>{"input open", "message 1"}));
}

TEST_F(Connection, AnOutputPortInUseClosesTheInputBeforeMessage1) {
  ports.setOutputOpenFails(true);
  EXPECT_EQ(linkConnect(link, ui, quickTimings()), 0);
  EXPECT_EQ(outline(ports.events()),
            (std::vector<std::string>{"input open", "output open", "input close", "message 1"}));
}

TEST(ConnectionToTheInstrument, ConnectAndDisconnectPutTheInstrumentIntoTransferModeAndOut) {
  LinkHarness h;
  MessageCapture messages(h.ports());
  RecordingUi ui(h.ports());
  ASSERT_NE(linkConnect(h.link(), ui, quickTimings()), 0);
  ASSERT_TRUE(h.instrument().waitUntilIdle(kWatchdog));
  EXPECT_TRUE(h.instrument().inTransferMode());

  std::uint32_t freeBytes = 0;
  EXPECT_EQ(freeSpace(h.link(), freeBytes), kLinkSuccess);

  EXPECT_EQ(linkDisconnect(h.link()), 1);
  ASSERT_TRUE(h.instrument().waitUntilIdle(kWatchdog));
  EXPECT_FALSE(h.instrument().inTransferMode());
  const auto lines = outline(h.ports().events());
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{"input stop", "RemoteMode off to 0", "input close", "output close"}));
  EXPECT_TRUE(messages.shown().empty());
}

// ---- the default timings, on a virtual clock ----------------------------------------

class ConnectionOnTheVirtualClock : public Connection {
 protected:
  VirtualClock clock{ports};
};

TEST_F(ConnectionOnTheVirtualClock, SettlesOneSecondBeforeAndAfterStartingTheInputAndHalfOneBeforeTheCheck) {
  ports.setReceiver([&](const Bytes& m) {
    if (is(SysexId::IdentifyRequest, m)) ports.deliver(buildIdentifyReply(0, 1, 2));
    if (is(SysexId::RemoteCheck, m)) ports.deliver(message(SysexId::RemoteReady));
  });
  ASSERT_NE(linkConnect(link, ui), 0);
  EXPECT_EQ(outline(ports.events()),
            (std::vector<std::string>{"input open", "output open", "pause 1000 ms", "input start", "pause 1000 ms",
                                      waitWindow, "IdentifyRequest to 0", "RemoteMode on to 0", "pause 500 ms",
                                      "RemoteCheck to 0", "wait window closed"}));
  EXPECT_EQ(clock.elapsed(), milliseconds(2500));
}

TEST_F(ConnectionOnTheVirtualClock, ASearchWithoutAnswerGivesEachDeviceNumberOneSecond) {
  EXPECT_EQ(linkConnect(link, ui), 0);
  EXPECT_EQ(messages.shown(), std::vector<int>{3});
  EXPECT_GT(clock.elapsed(), milliseconds(2000 + 16 * 1000));
  EXPECT_LT(clock.elapsed(), milliseconds(2000 + 16 * 1000 + 1));
}

// Each answer limit from both sides: the answer at the limit connects, one a
// millisecond later leads to the failure message. The identify case answers only
// the last device number, so that no later request takes the late answer for its own.
TEST(ConnectionLimits, AnAnswerAtTheLimitConnectsAndOneAMillisecondLaterDoesNot) {
  struct Case {
    const char* name;
    milliseconds identifyAt;  // after the IdentifyRequest to device 15
    milliseconds remoteAt;    // after the RemoteCheck
    bool connected;
    std::vector<int> shown;
  };
  const Case cases[] = {
      {"identify at the limit", milliseconds(1000), milliseconds(0), true, {}},
      {"identify after the limit", milliseconds(1001), milliseconds(0), false, {3}},
      {"remote check at the limit", milliseconds(0), milliseconds(2000), true, {}},
      {"remote check after the limit", milliseconds(0), milliseconds(2001), false, {4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePortLibrary ports;
    VirtualClock clock(ports);
    MessageCapture messages(ports);
    RecordingUi ui(ports);
    ports.setReceiver([&](const Bytes& m) {
      if (m[2] != 0x5F) return;
      if (is(SysexId::IdentifyRequest, m)) clock.deliverAfter(c.identifyAt, buildIdentifyReply(15, 1, 2));
      if (is(SysexId::RemoteCheck, m)) clock.deliverAfter(c.remoteAt, message(SysexId::RemoteReady, 15));
    });
    EXPECT_EQ(linkConnect(Link::instance(), ui) != 0, c.connected);
    EXPECT_EQ(messages.shown(), c.shown);
  }
}

}  // namespace
}  // namespace quaverly::linktest
