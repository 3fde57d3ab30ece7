#include "app/smf/SmfMerger.h"

#include <bit>
#include <cstring>

namespace quaverly::smf {

namespace {

#if defined(__GNUC__) || defined(__clang__)
#define QUAVERLY_PREFETCH(address) __builtin_prefetch(address)
#else
#define QUAVERLY_PREFETCH(address) ((void)0)
#endif

// How far ahead of a track's read position its bytes are asked for.
constexpr std::uint32_t kPrefetchAhead = 256;

// trackTime of a track that has reached its end-of-track event. Live times stay below.
constexpr std::uint32_t kTrackDone = 0xFFFFFFFFu;
constexpr std::uint32_t kHeaderBytes = 14;

std::uint16_t readBe16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

std::uint32_t readBe32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// Reads a delta time at `pos` (at most `bound`), which must end before `bound`, and moves
// `pos` past it. A delta of five or more bytes is refused: it cannot be written back
// exactly and its value would wrap in 32 bits.
inline bool readDelta(const std::uint8_t* in, std::uint32_t& pos, std::uint32_t bound, std::uint32_t& value) {
  if (pos < bound && in[pos] < 0x80) {  // the common one-byte case
    value = in[pos];
    ++pos;
    return true;
  }
  if (bound - pos >= 4) {
    // Longer deltas away from the end: four bytes at once rather than a branch per
    // byte. The first byte with bit 7 clear ends the quantity; the bytes after it are
    // dropped and the 7-bit groups of the rest packed together.
    const std::uint32_t word = (std::uint32_t{in[pos]} << 24) | (std::uint32_t{in[pos + 1]} << 16) |
                               (std::uint32_t{in[pos + 2]} << 8) | in[pos + 3];
    const std::uint32_t stops = ~word & 0x80808080u;
    if (stops == 0) return false;
    const unsigned bytes = (static_cast<unsigned>(std::countl_zero(stops)) >> 3) + 1;
    const std::uint32_t groups = (word >> (8 * (4 - bytes))) & 0x7F7F7F7Fu;
    value = (groups & 0x7Fu) | ((groups >> 1) & 0x3F80u) | ((groups >> 2) & 0x1FC000u) | ((groups >> 3) & 0xFE00000u);
    pos += bytes;
    return true;
  }
  std::uint32_t v = 0;
  for (std::uint32_t p = pos; p < bound && p - pos < 4; ++p) {
    const std::uint32_t b = in[p];
    v = (v << 7) | (b & 0x7F);
    if (b < 0x80) {
      value = v;
      pos = p + 1;
      return true;
    }
  }
  return false;
}

// Reads the length field of a SysEx or meta event at `pos`, which must end before
// `bound`. Any number of bytes is accepted; the value accumulates modulo 2^32. The
// bytes are copied unchanged, so a long field harms nothing.
bool readLengthField(const std::uint8_t* in, std::uint32_t pos, std::uint32_t bound, std::uint64_t& fieldBytes,
                     std::uint32_t& value) {
  std::uint32_t v = 0;
  for (std::uint32_t p = pos; p < bound; ++p) {
    const std::uint8_t b = in[p];
    v = v * 128u + (b & 0x7Fu);
    if (b < 0x80) {
      fieldBytes = std::uint64_t{p} - pos + 1;
      value = v;
      return true;
    }
  }
  return false;
}

// Data bytes after the status byte of channel messages, by the high nibble; 0 where the
// length is not fixed (0xF0-0xFF) or the byte is no status at all (below 0x80).
constexpr std::uint8_t kChannelDataBytes[16] = {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 2, 0};

// Number of bytes after the status byte `status` that belong to its event, which starts
// its data at `pos`. False when the status byte is not one an event may carry or when the
// event would reach beyond `bound`.
inline bool eventLength(const std::uint8_t* in, std::uint8_t status, std::uint32_t pos, std::uint32_t bound,
                        std::uint32_t& length) {
  const std::uint32_t room = bound - pos;  // callers keep pos <= bound
  const std::uint32_t fixed = kChannelDataBytes[status >> 4];
  if (fixed != 0) {
    if (fixed > room) return false;
    length = fixed;
    return true;
  }
  std::uint64_t total = 0;
  std::uint64_t fieldBytes = 0;
  std::uint32_t value = 0;
  if (status == 0xF0 || status == 0xF7) {
    if (!readLengthField(in, pos, bound, fieldBytes, value)) return false;
    total = fieldBytes + value;
  } else if (status == 0xFF) {
    // The meta type byte, then the length field. The field read needs a byte after
    // the type byte, so the type byte itself is known to be there.
    if (room < 2 || !readLengthField(in, pos + 1, bound, fieldBytes, value)) return false;
    total = 1 + fieldBytes + value;
  } else {
    return false;  // a data byte, or 0xF1-0xF6 / 0xF8-0xFE
  }
  if (total > room) return false;
  length = static_cast<std::uint32_t>(total);
  return true;
}

// Reads the status byte of the event at `pos` unless running status applies, and the
// event's length; `status` holds the track's running status on entry (0xFF before the
// first event) and the event's status on return, `pos` moves to the event's data. After
// SysEx or meta events running status never applies: a data byte there is taken for a
// status byte and fails the length rule.
inline bool readEventHead(const std::uint8_t* in, std::uint32_t& pos, std::uint32_t end, std::uint8_t& status,
                          std::uint32_t& length, bool& endOfTrack) {
  if (pos >= end) return false;
  // Worked out without a branch: real files mix running status and status bytes too
  // evenly for prediction.
  const std::uint32_t first = in[pos];
  const std::uint32_t fresh = ((status + 0x10u) >> 8) | (first >> 7);  // status >= 0xF0 or a status byte
  const std::uint32_t take = 0u - fresh;
  status = static_cast<std::uint8_t>((first & take) | (status & ~take));
  pos += fresh;
  length = kChannelDataBytes[status >> 4];
  endOfTrack = false;
  if (length != 0 && length <= end - pos) return true;
  if (!eventLength(in, status, pos, end, length)) return false;
  // FF 2F 00 ends the track; a type 2F meta event with a longer body does not.
  endOfTrack = status == 0xFF && length == 2 && in[pos] == 0x2F;
  return true;
}

inline std::uint32_t deltaBytes(std::uint32_t value) {
  return value < (1u << 7) ? 1 : value < (1u << 14) ? 2 : value < (1u << 21) ? 3 : 4;
}

// Writes a value below 2^28 as a variable-length quantity, most significant group first.
inline std::uint32_t writeDelta(std::uint8_t* out, std::uint32_t value, std::uint32_t bytes) {
  for (std::uint32_t i = bytes - 1; i > 0; --i) *out++ = static_cast<std::uint8_t>(0x80 | ((value >> (7 * i)) & 0x7F));
  *out = static_cast<std::uint8_t>(value & 0x7F);
  return bytes;
}

}  // namespace

CSmfMerger::~CSmfMerger() { cancel(); }

void CSmfMerger::start(int mode, const std::uint8_t* data, std::uint32_t length) {
  std::lock_guard<std::mutex> threadLock(threadMutex_);
  if (worker_.joinable()) worker_.join();
  if (mode == 1) status_.store(kRunning, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  auto finished = [this] {
    {
      // Cleared under the mutex so that a waiter between its check and its wait
      // cannot miss the notification.
      std::lock_guard<std::mutex> doneLock(doneMutex_);
      running_.store(false, std::memory_order_release);
    }
    done_.notify_all();
  };
  try {
    worker_ = std::thread([this, mode, data, length, finished] {
      if (mode == 1) merge(data, length);
      finished();
    });
  } catch (...) {
    // No thread to be had: report it like the lack of memory it almost always is.
    status_.store(kNoMemory, std::memory_order_release);
    finished();
  }
}

void CSmfMerger::cancel() {
  keepGoing_.store(false, std::memory_order_release);
  std::lock_guard<std::mutex> threadLock(threadMutex_);
  if (worker_.joinable()) worker_.join();
}

bool CSmfMerger::waitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> doneLock(doneMutex_);
  return done_.wait_for(doneLock, timeout, [this] { return !running_.load(std::memory_order_acquire); });
}

std::uint32_t CSmfMerger::outputSize() const {
  std::lock_guard<std::mutex> workLock(workMutex_);
  return output_ ? outputLength_ : 0;
}

std::span<const std::uint8_t> CSmfMerger::output() const {
  std::lock_guard<std::mutex> workLock(workMutex_);
  if (!output_) return {};
  return {output_.data(), outputLength_};
}

MergedFile CSmfMerger::takeOutput() {
  std::lock_guard<std::mutex> workLock(workMutex_);
  MergedFile file;
  if (output_) {
    file.size = outputLength_;
    file.buffer = std::move(output_);
  }
  outputLength_ = 0;
  return file;
}

bool CSmfMerger::merge(const std::uint8_t* data, std::uint32_t length) {
  std::lock_guard<std::mutex> workLock(workMutex_);
  return mergeLocked(data, length);
}

bool CSmfMerger::mergeLocked(const std::uint8_t* data, std::uint32_t length) {
  static constexpr std::uint8_t kNoBytes[1] = {0};
  output_.reset();
  outputLength_ = 0;
  outPos_ = 0;
  status_.store(kRunning, std::memory_order_release);
  in_ = data ? data : kNoBytes;
  inLength_ = data ? length : 0;

  auto fail = [this](std::int32_t status) {
    output_.reset();
    outputLength_ = 0;
    outPos_ = 0;
    in_ = nullptr;
    inLength_ = 0;
    status_.store(status, std::memory_order_release);
    return false;
  };

  std::uint64_t runningStatusEvents = 0;
  const std::int32_t scanned = preScan(runningStatusEvents);
  if (scanned != kRunning) return fail(scanned);

  // Every event that relied on running status may need its status byte back; nothing
  // else grows (see the capacity note in mergeEvents). The track length field is
  // 32-bit, and so is the output length, so a larger buffer could never be described.
  const std::uint64_t capacity = std::uint64_t{inLength_} + runningStatusEvents;
  if (capacity > 0xFFFFFFFFu) return fail(kNoMemory);
  output_ = ByteBuffer::allocate(static_cast<std::size_t>(capacity));
  if (!output_) return fail(kNoMemory);
  outputLength_ = static_cast<std::uint32_t>(capacity);

  // Header: the input's own, saying format 0 and one track; the division stays.
  std::uint8_t* out = output_.data();
  std::memcpy(out, in_, kHeaderBytes);
  out[9] = 0x00;
  out[11] = 0x01;
  outPos_ = kHeaderBytes;

  // Every track starts at its first event. The pre-scan has set pos and end.
  for (int i = 0; i < trackCount_; ++i) {
    Track& track = tracks_[i];
    std::uint32_t first = 0;
    track.status = 0xFF;
    if (!readDelta(in_, track.pos, track.end, first) ||
        !readEventHead(in_, track.pos, track.end, track.status, track.bytes, track.atEnd))
      return fail(kMalformed);
    track.time = first;
  }

  if (outputLength_ - outPos_ < 8) return fail(kMalformed);
  std::memcpy(out + outPos_, "MTrk\0\0\0\0", 8);
  const std::uint32_t lengthField = outPos_ + 4;
  outPos_ += 8;

  const std::int32_t merged = mergeEvents();
  if (!keepGoing_.load(std::memory_order_acquire)) return fail(kCancelled);
  if (merged != kSuccess) return fail(kMalformed);

  // One end-of-track event right after the last written event, then whatever followed
  // the last declared track in the input, unchanged and outside the track length.
  const std::uint32_t tailLength = inLength_ - tailStart_;
  if (std::uint64_t{4} + tailLength > outputLength_ - outPos_) return fail(kMalformed);
  static constexpr std::uint8_t kEndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};
  std::memcpy(out + outPos_, kEndOfTrack, 4);
  outPos_ += 4;
  const std::uint32_t trackLength = outPos_ - (lengthField + 4);
  out[lengthField] = static_cast<std::uint8_t>(trackLength >> 24);
  out[lengthField + 1] = static_cast<std::uint8_t>(trackLength >> 16);
  out[lengthField + 2] = static_cast<std::uint8_t>(trackLength >> 8);
  out[lengthField + 3] = static_cast<std::uint8_t>(trackLength);
  if (tailLength != 0) std::memcpy(out + outPos_, in_ + tailStart_, tailLength);
  outPos_ += tailLength;

  outputLength_ = outPos_;
  in_ = nullptr;
  inLength_ = 0;
  status_.store(kSuccess, std::memory_order_release);
  return true;
}

std::int32_t CSmfMerger::preScan(std::uint64_t& runningStatusEvents) {
  const std::uint8_t* const in = in_;
  const std::uint32_t length = inLength_;

  if (length < kHeaderBytes || std::memcmp(in, "MThd", 4) != 0 || readBe32(in + 4) != 6) return kMalformed;
  if (readBe16(in + 8) != 1) return kNotFormat1;
  const int declared = readBe16(in + 10);
  if (declared < 1 || declared > kMaxTracks) return kMalformed;
  trackCount_ = declared;

  // The chunks first: only "MTrk" chunks are tracks, and nothing is skipped in between.
  std::uint32_t chunk = kHeaderBytes;
  for (int i = 0; i < declared; ++i) {
    if (length - chunk < 8 || std::memcmp(in + chunk, "MTrk", 4) != 0) return kMalformed;
    const std::uint32_t trackLength = readBe32(in + chunk + 4);
    const std::uint32_t start = chunk + 8;
    // Compared without adding first, so that a huge length cannot wrap around.
    if (trackLength == 0 || trackLength > length - start) return kMalformed;
    tracks_[i].pos = start;
    tracks_[i].end = start + trackLength;
    chunk = start + trackLength;
  }

  // Then every event of every chunk, also past the end-of-track event. Each event's
  // place depends on the one before, a chain of loads and decoding; walking two tracks
  // side by side lets the processor work on both chains at once.
  struct Walk {
    std::uint32_t pos;
    std::uint32_t end;
    std::uint32_t status;  // 0: none yet
  };
  std::uint64_t counted = 0;
  auto step = [in, &counted](Walk& w) {
    std::uint32_t delta;
    if (!readDelta(in, w.pos, w.end, delta) || w.pos >= w.end) return false;
    // 1 for a status byte, 0 for running status; used without a branch, as in
    // readEventHead.
    const std::uint32_t b = in[w.pos];
    const std::uint32_t fresh = b >> 7;
    const std::uint32_t take = 0u - fresh;
    w.status = (b & take) | (w.status & ~take);
    w.pos += fresh;
    counted += fresh ^ 1;
    if (w.status == 0) return false;  // the first event lacks its status byte
    std::uint32_t eventBytes = kChannelDataBytes[w.status >> 4];
    if (eventBytes == 0 || eventBytes > w.end - w.pos) {
      if (!eventLength(in, static_cast<std::uint8_t>(w.status), w.pos, w.end, eventBytes)) return false;
    }
    w.pos += eventBytes;
    return true;
  };
  for (int i = 0; i < declared; i += 2) {
    if (!keepGoing_.load(std::memory_order_relaxed)) return kCancelled;
    Walk a{tracks_[i].pos, tracks_[i].end, 0};
    Walk b = i + 1 < declared ? Walk{tracks_[i + 1].pos, tracks_[i + 1].end, 0} : Walk{0, 0, 0};
    std::uint32_t events = 0;
    while (a.pos != a.end && b.pos != b.end) {
      if (!step(a) || !step(b)) return kMalformed;
      // A cancel is noticed within a fraction of a millisecond even in huge tracks.
      if ((++events & 0x7FFFu) == 0 && !keepGoing_.load(std::memory_order_relaxed)) return kCancelled;
    }
    for (Walk* rest : {&a, &b}) {
      while (rest->pos != rest->end) {
        if (!step(*rest)) return kMalformed;
        if ((++events & 0x7FFFu) == 0 && !keepGoing_.load(std::memory_order_relaxed)) return kCancelled;
      }
    }
  }
  tailStart_ = chunk;
  runningStatusEvents = counted;
  return kRunning;
}

// Writes the events of all tracks in order of (time, track number) and returns
// kSuccess once every track has reached its end-of-track event, kMalformed on a
// malformed event, or kRunning when a cancel stopped it.
//
// Capacity: every written delta is at most the delta the event had in its own track
// (the last written event is never earlier than the previous event of the same track),
// and deltas are at most four bytes long, so a written delta never needs more bytes than
// the input's. Only events that used running status can gain a status byte. Every write
// is still checked against the capacity.
std::int32_t CSmfMerger::mergeEvents() {
  const std::uint8_t* const in = in_;
  std::uint8_t* const out = output_.data();
  const std::uint32_t capacity = outputLength_;
  std::uint32_t o = outPos_;
  std::uint32_t lastTime = 0;
  std::uint8_t lastStatus = 0xFF;

  // Local copies keep the hot loop free of reloads after every output byte.
  const int trackCount = trackCount_;
  Track tracks[kMaxTracks];
  for (int i = 0; i < trackCount; ++i) tracks[i] = tracks_[i];

  // The next event comes from the track with the smallest (time, track number): a loser
  // tree over keys time << 8 | track picks it in log2(tracks) steps and gives equal
  // times to the lowest track number. Missing leaves hold the largest key.
  auto keyOf = [](std::uint32_t time, unsigned track) { return (std::uint64_t{time} << 8) | track; };
  unsigned leaves = 1;
  while (leaves < static_cast<unsigned>(trackCount)) leaves <<= 1;
  std::uint64_t losers[kMaxTracks];  // internal nodes 1 .. leaves-1
  std::uint64_t winner;
  {
    std::uint64_t node[2 * kMaxTracks];
    for (unsigned i = 0; i < leaves; ++i)
      node[leaves + i] = i < static_cast<unsigned>(trackCount) ? keyOf(tracks[i].time, i) : ~std::uint64_t{0};
    for (unsigned n = leaves - 1; n >= 1; --n) {
      const std::uint64_t a = node[2 * n];
      const std::uint64_t b = node[2 * n + 1];
      node[n] = a < b ? a : b;
      losers[n] = a < b ? b : a;
    }
    winner = node[1];
  }

  std::int32_t result = kRunning;
  for (;;) {
    if (!keepGoing_.load(std::memory_order_relaxed)) break;
    const std::uint32_t time = static_cast<std::uint32_t>(winner >> 8);
    if (time == kTrackDone) {
      result = kSuccess;
      break;
    }
    const unsigned t = static_cast<unsigned>(winner & 0xFF);
    Track& track = tracks[t];
    std::uint64_t key;
    if (track.atEnd) {
      // FF 2F 00 ends the track: nothing of it is written, nothing after it read.
      track.time = kTrackDone;
      key = keyOf(kTrackDone, t);
    } else {
      const std::uint32_t pos = track.pos;
      const std::uint32_t end = track.end;
      const std::uint32_t eventBytes = track.bytes;
      const std::uint8_t status = track.status;

      const std::uint32_t delta = time - lastTime;
      const std::uint32_t vlqBytes = deltaBytes(delta);
      const std::uint32_t withStatus = (lastStatus >= 0xF0 || lastStatus != status) ? 1 : 0;
      if (std::uint64_t{vlqBytes} + withStatus + eventBytes > capacity - o) {
        result = kMalformed;
        break;
      }
      lastTime = time;
      if (vlqBytes == 1)
        out[o] = static_cast<std::uint8_t>(delta);
      else
        writeDelta(out + o, delta, vlqBytes);
      o += vlqBytes;
      // The status byte goes out always and is kept only when needed; when it is not,
      // the event's first byte overwrites it.
      out[o] = status;
      o += withStatus;
      lastStatus = status;
      if (eventBytes <= 2) {
        const std::uint8_t last = in[pos + eventBytes - 1];
        out[o] = in[pos];
        out[o + eventBytes - 1] = last;
      } else {
        std::memcpy(out + o, in + pos, eventBytes);
      }
      o += eventBytes;

      // The next delta decides the track's place; a track that ends here lacks its
      // end-of-track event.
      std::uint32_t next = pos + eventBytes;
      std::uint32_t delay;
      if (!readDelta(in, next, end, delay)) {
        result = kMalformed;
        break;
      }
      const std::uint32_t nextTime = time + delay;
      if (nextTime < time || nextTime == kTrackDone) {  // would wrap or reach the end mark
        result = kMalformed;
        break;
      }
      // Tracks are read as up to 64 interleaved streams, more than the hardware
      // follows by itself; asking for the next lines early hides the memory latency.
      if (end - next > kPrefetchAhead) QUAVERLY_PREFETCH(in + next + kPrefetchAhead);
      // Reading the head of the event after it is off the critical path: nothing
      // waits for it until this track's next turn. An error there ends the merge
      // now rather than later, with the same status.
      std::uint8_t nextStatus = status;
      if (!readEventHead(in, next, end, nextStatus, track.bytes, track.atEnd)) {
        result = kMalformed;
        break;
      }
      track.pos = next;
      track.status = nextStatus;
      track.time = nextTime;
      // A next event at the same time keeps the smallest key: every other track has
      // a later time or, at this time, a higher number. No need to ask the tree.
      if (delay == 0) continue;
      key = keyOf(nextTime, t);
    }

    // Replay the track's path to the root: the smaller key moves up, the larger stays.
    std::uint64_t candidate = key;
    for (unsigned n = (leaves + t) >> 1; n != 0; n >>= 1) {
      const std::uint64_t stored = losers[n];
      const std::uint64_t low = stored < candidate ? stored : candidate;
      const std::uint64_t high = stored < candidate ? candidate : stored;
      losers[n] = high;
      candidate = low;
    }
    winner = candidate;
  }

  for (int i = 0; i < trackCount; ++i) tracks_[i] = tracks[i];
  outPos_ = o;
  return result;
}

}  // namespace quaverly::smf
