// Drives the application's link layer against an instrument in the same process.
//
// FakePortLibrary stands in for Tonelink: its function tables, bound to the process's
// Link, hand every message the link sends to a receiver (the virtual instrument or a
// test's script) and deliver what comes back through linkReceive, as Tonelink's input
// thread does. Its ports can be made to fail, its sends to find no free slot or to
// fail outright, and deliveries can be split in two pieces or followed by a stray
// message. Everything it sees goes into one ordered log.
//
// LinkHarness adds a virtual instrument with an in-memory file memory and the PC's
// side of whole transfers built from the link's own operations.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/messages/MessageCatalogue.h"
#include "app/protocol/BulkTransfer.h"
#include "app/protocol/Connection.h"
#include "app/protocol/FileCommands.h"
#include "app/protocol/Link.h"
#include "app/protocol/PortLibraryBinding.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/InMemoryFileMemory.h"
#include "instrument/Instrument.h"

namespace quaverly::linktest {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
using protocol::LinkResult;
using protocol::SysexId;
using std::chrono::milliseconds;

// The longest a test waits for anything. Far beyond what a loaded machine needs, so
// that it only ends a test that would otherwise hang.
inline constexpr milliseconds kWatchdog{30000};

struct PortEvent {
  enum class Kind {
    InputOpen,
    InputClose,
    InputStart,
    InputStop,
    OutputOpen,
    OutputClose,
    Sent,        // a message the link handed to the library's dump
    Delivered,   // a message (or piece) handed to linkReceive
    Shown,       // a message shown to the user (text)
    WaitShown,   // the connection check's wait window opened (text)
    WaitClosed,  // and closed
    Paused,      // the link slept on a VirtualClock, for `pause`
  };
  Kind kind;
  Bytes bytes;
  std::string text;
  Clock::time_point at;  // on the link's clock
  milliseconds pause{0};
};

class FakePortLibrary {
 public:
  using Receiver = std::function<void(const Bytes&)>;

  // Binds the process's Link to this library's tables, on the system's clock, and
  // empties its queue.
  FakePortLibrary();
  // Stops the timer thread and unbinds the Link.
  ~FakePortLibrary();
  FakePortLibrary(const FakePortLibrary&) = delete;
  FakePortLibrary& operator=(const FakePortLibrary&) = delete;

  // Where every sent message goes; runs on the sending thread, inside the dump.
  void setReceiver(Receiver receiver);

  void setInputOpenFails(bool fails) { inputOpenFails_.store(fails); }
  void setOutputOpenFails(bool fails) { outputOpenFails_.store(fails); }
  // The next `count` dumps find every send slot busy: 0 with last result 0. A
  // negative count: every dump from now on.
  void setBusyDumps(int count) { busyDumps_.store(count); }
  // Every dump fails with this system result code (0: none).
  void setDumpError(unsigned code) { dumpError_.store(code); }
  int dumpCalls() const { return dumpCalls_.load(); }

  // Delivers every message in two pieces, as the library does with a long one.
  void setSplit(bool split) { split_.store(split); }
  // After the first delivered message that `when` picks, `stray` follows.
  void injectAfter(std::function<bool(const Bytes&)> when, Bytes stray);

  // Hands a message to linkReceive, as the library's input thread does.
  void deliver(std::span<const std::uint8_t> message);
  // The same, from the timer thread, `delay` from now.
  void deliverLater(Bytes message, milliseconds delay);

  void record(PortEvent::Kind kind, std::span<const std::uint8_t> bytes = {}, std::string text = {},
              milliseconds pause = milliseconds(0));
  std::vector<PortEvent> events() const;
  // The messages the link sent, in order.
  std::vector<Bytes> sent() const;
  // Waits until the log holds an event of `kind` whose bytes `pick` accepts.
  bool waitFor(PortEvent::Kind kind, const std::function<bool(const Bytes&)>& pick, milliseconds timeout = kWatchdog);

 private:
  static FakePortLibrary* current();
  static unsigned setDeviceId(int kind, unsigned id);
  static unsigned getDeviceId(int kind);
  static unsigned getErrorText(int kind, char* text, unsigned size);
  static unsigned getLastResult(int kind);
  static int inputOpen(ReceiveCallback callback, int id, int mode, int idle);
  static int inputClose();
  static int inputStart();
  static int inputStop();
  static int outputOpen(int id);
  static int outputClose();
  static int outputBytes(const unsigned char* bytes, int length);

  void runTimer();

  static std::atomic<FakePortLibrary*> current_;

  protocol::InputFunctionTable input_;
  protocol::OutputFunctionTable output_;

  std::atomic<bool> inputOpenFails_{false};
  std::atomic<bool> outputOpenFails_{false};
  std::atomic<int> busyDumps_{0};
  std::atomic<unsigned> dumpError_{0};
  std::atomic<unsigned> lastResult_[2] = {0, 0};
  std::atomic<int> dumpCalls_{0};
  std::atomic<bool> split_{false};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Receiver receiver_;
  std::function<bool(const Bytes&)> injectWhen_;
  Bytes stray_;
  std::vector<PortEvent> events_;
  std::multimap<Clock::time_point, Bytes> timed_;
  bool stopping_ = false;
  std::thread timer_;  // last: it uses everything above
};

// A ConnectionUi that writes into the library's log and counts its pumps.
class RecordingUi final : public protocol::ConnectionUi {
 public:
  explicit RecordingUi(FakePortLibrary& ports) : ports_(ports) {}
  void showWait(std::string_view text) override;
  void pump() override { pumps_.fetch_add(1); }
  void closeWait() override;
  int pumps() const { return pumps_.load(); }

 private:
  FakePortLibrary& ports_;
  std::atomic<int> pumps_{0};
};

// Connection timings without the fixed delays, and with short answer limits for the
// checks that are meant to fail; the defaults stay for the tests of those limits.
protocol::ConnectionTimings quickTimings();

// Installs the English catalogue and a presenter that logs every shown message into
// `ports`, for as long as it lives.
class MessageCapture {
 public:
  explicit MessageCapture(FakePortLibrary& ports);
  ~MessageCapture();
  // The catalogue numbers of the shown messages, in order (0 for an unknown text).
  std::vector<int> shown() const;

 private:
  FakePortLibrary& ports_;
  std::unique_ptr<ScopedMessagePresenter> presenter_;
};

// The catalogue number whose English text is `text`; 0 when none.
int messageNumber(std::string_view text);

// A file's bytes that differ from block to block and use the top bit, so that a lost,
// repeated or wrongly unpacked byte shows.
Bytes patternBytes(std::size_t size, std::uint32_t seed = 1);

inline bool is(SysexId id, const Bytes& message) { return protocol::matches(id, message); }

// A case's description as a test name: "end of data after a Wait" gives
// "EndOfDataAfterAWait".
std::string testName(std::string_view description);

// The virtual instrument behind a FakePortLibrary, and the PC's side of transfers.
class LinkHarness {
 public:
  explicit LinkHarness(instrument::InstrumentOptions options = fastOptions());
  ~LinkHarness();

  // The instrument's own delays shortened a hundredfold, and no silence time-out
  // while a test looks at something.
  static instrument::InstrumentOptions fastOptions();
  // No pacing: blocks go out as fast as the link sends them.
  static protocol::PacingSettings unpaced() { return {256, 0}; }

  FakePortLibrary& ports() { return ports_; }
  instrument::Instrument& instrument() { return *instrument_; }
  protocol::Link& link() { return protocol::Link::instance(); }
  protocol::TransferProgress& progress() { return progress_; }

  // Puts the instrument into transfer mode on its device number, as the connection
  // check would, without the check's delays.
  void enterTransferMode();

  // The instrument's memory. Paths are the stored names below the drive.
  void addFile(const instrument::MemoryPath& path, const Bytes& data);
  void addFolder(const instrument::MemoryPath& path);
  std::optional<Bytes> fileContents(const instrument::MemoryPath& path);

  // Sends a whole file as a transmission does: header, blocks, end of data; the first
  // non-zero result is the file's.
  LinkResult sendFile(std::string_view path, const Bytes& data, protocol::PacingSettings pacing = unpaced());
  // Receives a whole file as a reception does: request, blocks into a buffer of the
  // announced size, Finished.
  LinkResult receiveFile(std::string_view path, Bytes& data);
  // Lists a folder ("0:\\X") with find first and find next.
  LinkResult listFolder(std::string_view folder, std::vector<protocol::DirectoryEntry>& entries);

 private:
  FakePortLibrary ports_;
  protocol::TransferProgress progress_;
  std::unique_ptr<instrument::Instrument> instrument_;  // destroyed before ports_
};

}  // namespace quaverly::linktest
