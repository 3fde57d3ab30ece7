// The PC's side of an end-to-end run over JACK: connects to the ports of a running
// quaverly-instrument, identifies it, enters the transfer mode, lists a folder and
// moves one file each way, checking everything against the instrument's directory.
//
//   e2e_client --drive DIR --device N --identify A B --capacity BYTES
//
// Exit status 0 when every check passed, 1 on the first failed check (with a line
// saying which), 3 when the watchdog ended a run that stopped making progress.
#include <RtMidi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/protocol/wire/BlockCodec.h"
#include "app/protocol/wire/SysexCatalogue.h"
#include "instrument/tool/MidiPortBridge.h"
#include "instrument/tool/SysexAssembler.h"
#include "portlib/system/rtmidi/JackOutputClose.h"

namespace {

namespace fs = std::filesystem;
namespace protocol = quaverly::protocol;
using protocol::Bytes;
using protocol::SysexId;
using quaverly::instrument::tool::SysexAssembler;
using namespace std::chrono_literals;

// Generous limits: the machine may be loaded, and a limit only decides how long a
// broken run takes to fail, never whether a working one passes.
constexpr auto kPortsTimeout = 30s;
constexpr auto kReplyTimeout = 15s;
constexpr auto kFinishTimeout = 30s;
constexpr auto kWatchdog = 100s;
constexpr auto kSettle = 1s;
constexpr auto kIdentifyWait = 3s;
constexpr int kIdentifyAttempts = 8;
// The PC paces the blocks it sends: with the default settings every full block
// after the first waits 100 ms.
constexpr auto kBlockPacing = 100ms;
constexpr char kPortName[] = "Quaverly Virtual Instrument";
constexpr std::size_t kMaxQueuedMessages = 4096;
constexpr std::uint8_t kAttributeArchive = 0x20;

const auto kStart = std::chrono::steady_clock::now();

// Progress on stdout, with the time since the start so that a slow step shows.
__attribute__((format(printf, 1, 2))) void progress(const char* format, ...) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
  std::printf("[%7.3f s] ", seconds);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::printf("\n");
}

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void check(bool condition, const std::string& what) {
  if (!condition) throw Failure(what);
}

std::string hex(const Bytes& bytes, std::size_t limit = 24) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    char b[4];
    std::snprintf(b, sizeof b, "%02X ", bytes[i]);
    text += b;
  }
  if (bytes.size() > limit) text += "... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

// Ends the process when the run stops making progress, so a hang fails.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : thread_([this, limit] {
          std::unique_lock lock(mutex_);
          if (!done_changed_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "FAIL: watchdog: the run did not finish within %lld s\n",
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(3);
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  std::thread thread_;
};

// A pair of JACK MIDI ports connected to the instrument's, carrying whole messages.
class JackLink {
 public:
  JackLink()
      : assembler_([this](SysexAssembler::Message m) { enqueue(m); }),
        in_(RtMidi::UNIX_JACK, "Quaverly e2e client"),
        out_(RtMidi::UNIX_JACK, "Quaverly e2e client") {
    in_.setErrorCallback(&JackLink::onInputError, this);
    out_.setErrorCallback(&JackLink::onOutputError, this);
    in_.setCallback(&JackLink::onInput, this);
    in_.ignoreTypes(false, true, true);
  }

  ~JackLink() { tonelink::jack::closeRtMidiOutput(out_); }

  // Waits for the instrument's ports to appear and connects to them.
  void connect() {
    const auto deadline = std::chrono::steady_clock::now() + kPortsTimeout;
    for (;;) {
      const auto to = findPort(out_);
      const auto from = findPort(in_);
      if (to && from) {
        out_.openPort(*to, "to instrument");
        in_.openPort(*from, "from instrument");
        check(!outputFailed_, "cannot connect to the instrument's input port: " + outputError_);
        progress("connected to %s and %s", out_.getPortName(*to).c_str(), in_.getPortName(*from).c_str());
        return;
      }
      check(std::chrono::steady_clock::now() < deadline, "the instrument's ports did not appear");
      std::this_thread::sleep_for(100ms);
    }
  }

  void send(const Bytes& message) {
    outputFailed_ = false;
    out_.sendMessage(message.data(), message.size());
    check(!outputFailed_, "cannot send " + hex(message) + ": " + outputError_);
  }

  // The next complete message from the instrument, or nothing after `timeout`.
  std::optional<Bytes> next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty() || overflow_; })) return std::nullopt;
    check(!overflow_, "more than " + std::to_string(kMaxQueuedMessages) + " messages waiting");
    Bytes message = std::move(queue_.front());
    queue_.pop_front();
    return message;
  }

  std::uint64_t droppedMessages() const { return dropped_.load(); }

 private:
  template <typename Port>
  static std::optional<unsigned> findPort(Port& port) {
    std::optional<unsigned> found;
    const unsigned count = port.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
      if (port.getPortName(i).find(kPortName) == std::string::npos) continue;
      check(!found, std::string("more than one port is named ") + kPortName);
      found = i;
    }
    return found;
  }

  // On JACK's process thread: reassemble and queue, nothing more.
  static void onInput(double, std::vector<unsigned char>* message, void* self) {
    auto* link = static_cast<JackLink*>(self);
    if (!message) return;
    link->assembler_.feed(std::span<const std::uint8_t>(message->data(), message->size()));
    link->dropped_.store(link->assembler_.droppedMessages());
  }

  void enqueue(SysexAssembler::Message message) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.size() >= kMaxQueuedMessages) {
        overflow_ = true;
      } else {
        queue_.emplace_back(message.begin(), message.end());
      }
    }
    arrived_.notify_one();
  }

  static void onInputError(RtMidiError::Type type, const std::string& text, void*) {
    if (type != RtMidiError::DEBUG_WARNING) std::fprintf(stderr, "input: %s\n", text.c_str());
  }
  // Runs inside the call on the main thread that met the error.
  static void onOutputError(RtMidiError::Type type, const std::string& text, void* self) {
    if (type == RtMidiError::DEBUG_WARNING) return;
    auto* link = static_cast<JackLink*>(self);
    link->outputFailed_ = true;
    link->outputError_ = text;
  }

  // Declared before the ports, so that they outlive every input callback.
  SysexAssembler assembler_;  // only on JACK's process thread
  std::atomic<std::uint64_t> dropped_{0};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Bytes> queue_;    // guarded by mutex_
  bool overflow_ = false;      // guarded by mutex_
  bool outputFailed_ = false;  // set by the output's error callback on the main thread
  std::string outputError_;
  RtMidiIn in_;
  RtMidiOut out_;
};

struct Settings {
  fs::path drive;
  std::uint8_t device = 0;
  std::uint8_t identifyA = 0;
  std::uint8_t identifyB = 0;
  std::uint32_t capacity = 2 * 1024 * 1024;
};

struct Entry {
  std::uint8_t attributes;
  std::uint32_t size;
  std::string path;
  bool operator==(const Entry&) const = default;
  bool operator<(const Entry& other) const { return path < other.path; }
};

std::string describe(const Entry& e) {
  char head[32];
  std::snprintf(head, sizeof head, "attr %02X size %u ", e.attributes, e.size);
  return head + e.path;
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  check(in.good(), "cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Session {
 public:
  Session(JackLink& link, Settings settings) : link_(link), s_(std::move(settings)) {}

  void run() {
    identify();
    enterTransferMode();
    checkFreeSpace();
    checkListing("TEST");

    receiveFile("TEST\\RECV.MID");
    expectRefusedFileRequest("TEST\\NOPE.MID");

    Bytes data(2345);
    std::mt19937 random(20240607);
    for (auto& b : data) b = static_cast<std::uint8_t>(random());
    sendFile("TEST\\SENT.MID", data);

    checkListing("TEST");
    checkFreeSpace();
    leaveTransferMode();
  }

 private:
  std::string wirePath(const std::string& relative) const { return "0:\\" + relative; }

  fs::path diskPath(const std::string& relative) const {
    fs::path p = s_.drive;
    std::string part;
    for (char c : relative) {
      if (c == '\\') {
        p /= part;
        part.clear();
      } else {
        part += c;
      }
    }
    return p / part;
  }

  Bytes build(SysexId id) const { return protocol::buildMessage(id, s_.device); }

  // The next message, which must be `id` from our device number.
  Bytes expect(SysexId id, const std::string& during, std::chrono::milliseconds timeout = kReplyTimeout) {
    const auto message = link_.next(timeout);
    check(message.has_value(), during + ": no " + std::string(protocol::sysexName(id)) + " within " +
                                   std::to_string(timeout.count()) + " ms");
    check(protocol::matches(id, *message),
          during + ": expected " + std::string(protocol::sysexName(id)) + ", got " + hex(*message));
    check((*message)[2] == protocol::kDeviceBase + s_.device, during + ": wrong device number in " + hex(*message));
    return *message;
  }

  bool is(const Bytes& message, SysexId id) const {
    return protocol::matches(id, message) && message[2] == protocol::kDeviceBase + s_.device;
  }

  // A new JACK connection takes effect at a later cycle, so a message sent at once
  // may go nowhere. The PC lets its ports settle for two seconds and then asks every
  // device number in turn; here the one identify request is repeated until answered.
  void identify() {
    std::this_thread::sleep_for(kSettle);
    int attempts = 0;
    std::optional<Bytes> reply;
    while (!reply) {
      check(attempts < kIdentifyAttempts, "identify: no answer to " + std::to_string(attempts) + " requests");
      link_.send(build(SysexId::IdentifyRequest));
      ++attempts;
      reply = link_.next(kIdentifyWait);
    }
    check(is(*reply, SysexId::IdentifyReply) && reply->size() == 10 && (*reply)[7] == s_.identifyA &&
              (*reply)[8] == s_.identifyB,
          "identify: unexpected reply " + hex(*reply));
    // Late answers to the earlier requests.
    for (int late = 1; late < attempts; ++late) {
      const auto extra = link_.next(kIdentifyWait);
      if (!extra) break;
      check(is(*extra, SysexId::IdentifyReply), "identify: unexpected " + hex(*extra));
    }
    progress("identify: ok (%d request%s)", attempts, attempts == 1 ? "" : "s");
  }

  void enterTransferMode() {
    link_.send(protocol::buildRemoteMode(s_.device, true));
    link_.send(build(SysexId::RemoteCheck));
    expect(SysexId::RemoteReady, "remote check");
    progress("transfer mode: ok");
  }

  void leaveTransferMode() {
    link_.send(protocol::buildRemoteMode(s_.device, false));
    link_.send(build(SysexId::RemoteCheck));
    expect(SysexId::RemoteRefused, "remote check after leaving the transfer mode");
    progress("left transfer mode: ok");
  }

  void checkFreeSpace() {
    std::uint64_t used = 0;
    for (const auto& e : fs::recursive_directory_iterator(s_.drive)) {
      if (e.is_regular_file()) used += (e.file_size() + 1023) / 1024 * 1024;
    }
    const std::uint64_t expected = used >= s_.capacity ? 0 : s_.capacity - used;
    link_.send(build(SysexId::FreeSpaceRequest));
    const Bytes reply = expect(SysexId::FreeSpaceReply, "free space");
    const std::optional<std::uint32_t> reported = protocol::parseFreeSpaceReply(reply);
    check(reply.size() == 12 && reported, "free space: malformed reply " + hex(reply));
    const std::uint32_t free = *reported;
    check(free == expected,
          "free space: instrument says " + std::to_string(free) + ", expected " + std::to_string(expected));
    progress("free space: %u bytes, ok", free);
  }

  std::vector<Entry> list(const std::string& folder) {
    std::vector<Entry> entries;
    link_.send(protocol::buildFindFirst(s_.device, protocol::kFindMaskFoldersAndFiles, wirePath(folder) + "\\*"));
    for (SysexId replyId = SysexId::FindFirstReply;; replyId = SysexId::FindNextReply) {
      const auto message = link_.next(kReplyTimeout);
      check(message.has_value(), "listing: no reply");
      if (is(*message, SysexId::CommandRefused)) break;
      const std::optional<protocol::FindReplyFields> entry = protocol::parseFindReply(*message);
      check(is(*message, replyId) && entry,
            "listing: expected " + std::string(protocol::sysexName(replyId)) + ", got " + hex(*message));
      entries.push_back({entry->attributes, entry->size, entry->path});
      check(entries.size() < 1000, "listing: does not end");
      link_.send(build(SysexId::FindNext));
    }
    return entries;
  }

  void checkListing(const std::string& folder) {
    const std::vector<Entry> listed = list(folder);
    check(listed.size() >= 2, "listing: fewer than the two entries . and ..");
    const std::string prefix = wirePath(folder) + "\\";
    check(listed[0] == Entry{protocol::kAttributeFolder, 0, prefix + "."},
          "listing: first entry " + describe(listed[0]));
    check(listed[1] == Entry{protocol::kAttributeFolder, 0, prefix + ".."},
          "listing: second entry " + describe(listed[1]));

    std::vector<Entry> onDisk;
    for (const auto& e : fs::directory_iterator(diskPath(folder))) {
      const std::string path = prefix + e.path().filename().string();
      if (e.is_directory()) {
        onDisk.push_back({protocol::kAttributeFolder, 0, path});
      } else {
        // An ordinary file carries the archive bit, as on a FAT drive.
        const bool readOnly = (e.status().permissions() & fs::perms::owner_write) == fs::perms::none;
        onDisk.push_back({static_cast<std::uint8_t>(kAttributeArchive | (readOnly ? protocol::kAttributeReadOnly : 0)),
                          static_cast<std::uint32_t>(e.file_size()), path});
      }
    }
    // The instrument lists in its storage order; the directory's order is its own.
    std::vector<Entry> rest(listed.begin() + 2, listed.end());
    std::sort(rest.begin(), rest.end());
    std::sort(onDisk.begin(), onDisk.end());
    if (rest != onDisk) {
      std::string text = "listing of " + folder + " differs from the directory.\n  listed:";
      for (const Entry& e : rest) text += "\n    " + describe(e);
      text += "\n  on disk:";
      for (const Entry& e : onDisk) text += "\n    " + describe(e);
      throw Failure(text);
    }
    progress("listing of %s: %zu entries, ok", folder.c_str(), listed.size());
  }

  void receiveFile(const std::string& relative) {
    const Bytes expected = readFile(diskPath(relative));
    link_.send(protocol::buildPathCommand(SysexId::FileRequest, s_.device, wirePath(relative)));
    const Bytes header = expect(SysexId::FileHeader, "file request");
    const std::optional<std::uint32_t> announced = protocol::parseFileHeaderReply(header);
    check(announced.has_value(), "file request: short header " + hex(header));
    const std::uint32_t size = *announced;
    check(size == expected.size(),
          "file request: size " + std::to_string(size) + ", the file has " + std::to_string(expected.size()));

    link_.send(build(SysexId::Ready));
    Bytes data;
    std::uint8_t counter = 0;
    std::size_t blocks = 0;
    for (;;) {
      const auto message = link_.next(kReplyTimeout);
      check(message.has_value(), "receiving: no block after " + std::to_string(blocks) + " blocks");
      const Bytes& m = *message;
      if (is(m, SysexId::EndOfData)) break;
      check(is(m, SysexId::BulkBlock), "receiving: unexpected " + hex(m));
      const std::size_t count = static_cast<std::size_t>(m[4]) * 128 + (m[5] & 0x7F);
      check(count >= 3 && m.size() == count + 8, "receiving: block length does not match its count: " + hex(m));
      check(m[8] == counter, "receiving: block " + std::to_string(blocks) + " has counter " + std::to_string(m[8]) +
                                 ", expected " + std::to_string(counter));
      const std::span<const std::uint8_t> checked(m.data() + 6, m.size() - 8);  // 02 02 k payload
      check(protocol::expectedChecksum(checked) == m[m.size() - 2],
            "receiving: bad checksum in block " + std::to_string(blocks));
      std::uint8_t chunk[protocol::kMaxChunkBytes];
      const auto n = protocol::unpackPayload(checked.subspan(3), chunk);
      check(n.has_value(), "receiving: payload too long in block " + std::to_string(blocks));
      data.insert(data.end(), chunk, chunk + *n);
      check(data.size() <= size, "receiving: more data than announced");
      counter = protocol::nextBlockCounter(counter);
      ++blocks;
    }
    link_.send(build(SysexId::Finished));
    check(data == expected, "receiving: the received bytes differ from " + diskPath(relative).string());
    progress("received %s: %zu bytes in %zu blocks, identical to the file", relative.c_str(), data.size(), blocks);
  }

  void expectRefusedFileRequest(const std::string& relative) {
    link_.send(protocol::buildPathCommand(SysexId::FileRequest, s_.device, wirePath(relative)));
    expect(SysexId::CommandRefused, "request for a missing file");
    progress("request for a missing file refused: ok");
  }

  // Handles what the instrument says while we send: Wait pauses until Ready.
  void obeyFlowControl(bool& paused, const std::string& during) {
    for (;;) {
      const auto message = link_.next(paused ? std::chrono::milliseconds(kReplyTimeout) : 0ms);
      if (!message) {
        check(!paused, during + ": Wait without Ready");
        return;
      }
      if (is(*message, SysexId::Wait)) {
        paused = true;
        ++waits_;
      } else if (is(*message, SysexId::Ready)) {
        paused = false;
      } else {
        throw Failure(during + ": unexpected " + hex(*message));
      }
    }
  }

  void sendFile(const std::string& relative, const Bytes& data) {
    link_.send(protocol::buildFileHeader(s_.device, static_cast<std::uint32_t>(data.size()), wirePath(relative)));
    for (;;) {
      const auto message = link_.next(kReplyTimeout);
      check(message.has_value(), "file header: no answer");
      if (is(*message, SysexId::Ready)) break;
      check(is(*message, SysexId::Wait), "file header: unexpected " + hex(*message));
    }

    bool paused = false;
    std::uint8_t counter = 0;
    std::size_t blocks = 0;
    for (std::size_t offset = 0; offset < data.size(); offset += protocol::kMaxChunkBytes) {
      if (blocks != 0) std::this_thread::sleep_for(kBlockPacing);
      obeyFlowControl(paused, "sending block " + std::to_string(blocks));
      const std::size_t n = std::min(protocol::kMaxChunkBytes, data.size() - offset);
      std::uint8_t payload[protocol::kMaxPayloadBytes];
      const std::size_t p = protocol::packChunk(std::span(data).subspan(offset, n), payload);
      const std::span<const std::uint8_t> packed(payload, p);
      link_.send(protocol::buildBlock(s_.device, packed, counter, protocol::blockChecksum(packed, counter)));
      counter = protocol::nextBlockCounter(counter);
      ++blocks;
    }
    link_.send(build(SysexId::EndOfData));

    // Wait and Ready mean the instrument is still busy; Finished ends it.
    for (;;) {
      const auto message = link_.next(kFinishTimeout);
      check(message.has_value(), "end of data: no Finished");
      if (is(*message, SysexId::Finished)) break;
      if (is(*message, SysexId::Ready)) ++busyReadies_;
      check(is(*message, SysexId::Wait) || is(*message, SysexId::Ready), "end of data: unexpected " + hex(*message));
    }
    const Bytes stored = readFile(diskPath(relative));
    check(stored == data, "sending: " + diskPath(relative).string() + " differs from the bytes sent (" +
                              std::to_string(stored.size()) + " bytes stored, " + std::to_string(data.size()) +
                              " sent)");
    progress("sent %s: %zu bytes in %zu blocks (%zu Wait, %zu busy Ready), stored identically", relative.c_str(),
             data.size(), blocks, waits_, busyReadies_);
  }

  JackLink& link_;
  const Settings s_;
  std::size_t waits_ = 0;
  std::size_t busyReadies_ = 0;
};

std::uint32_t number(const char* text, std::uint32_t max) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(text, &end, 0);
  if (!end || *end != '\0' || value > max) throw Failure(std::string("bad number '") + text + "'");
  return static_cast<std::uint32_t>(value);
}

Settings parse(int argc, char** argv) {
  Settings s;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](int count) {
      if (i + count >= argc) throw Failure(arg + " needs " + std::to_string(count) + " value(s)");
    };
    if (arg == "--drive") {
      value(1);
      s.drive = argv[++i];
    } else if (arg == "--device") {
      value(1);
      s.device = static_cast<std::uint8_t>(number(argv[++i], 15));
    } else if (arg == "--identify") {
      value(2);
      s.identifyA = static_cast<std::uint8_t>(number(argv[++i], 0x7F));
      s.identifyB = static_cast<std::uint8_t>(number(argv[++i], 0x7F));
    } else if (arg == "--capacity") {
      value(1);
      s.capacity = number(argv[++i], 0x0FFFFFFF);
    } else {
      throw Failure("unknown argument " + arg);
    }
  }
  if (s.drive.empty()) throw Failure("--drive is required");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Watchdog watchdog(kWatchdog);
  try {
    const Settings settings = parse(argc, argv);
    JackLink link;
    link.connect();
    Session(link, settings).run();
    check(link.droppedMessages() == 0, "the client dropped malformed input");
    progress("PASS");
    return 0;
  } catch (const Failure& e) {
    std::fprintf(stderr, "FAIL: %s\n", e.what());
  } catch (const RtMidiError& e) {
    std::fprintf(stderr, "FAIL: RtMidi: %s\n", e.getMessage().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "FAIL: %s\n", e.what());
  }
  return 1;
}
