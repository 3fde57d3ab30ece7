// Feeds the receive queue arbitrary pieces of bytes the way the port library's
// callback delivers them (short messages of one to three bytes, buffers of up to
// 1024 bytes) and takes messages out in between. Every message taken is compared with
// a plain model of the queue's rules; the sanitizers watch the slots.
//
// Input: a script of commands, each led by one byte c:
//   00xxxxxx  a piece of (c & 0x3F) + 1 bytes
//   01xxxxxx  a buffer of ((c & 0x03) << 8 | next byte) + 1 bytes
//   10xxxxxx  take up to (c & 0x3F) + 1 messages
//   11111111  reset
//   11xxxxxx  a short message of (c % 3) + 1 bytes
// Whatever is left in the queue at the end is taken and compared too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "app/protocol/ReceiveQueue.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

using quaverly::fuzz::FuzzInput;
using quaverly::protocol::ReceivedMessage;
using quaverly::protocol::ReceiveQueue;

struct ModelMessage {
  std::vector<std::uint8_t> bytes;
  bool overlong = false;
};

// The queue's rules, without its slots: F0 at the start of a piece opens a message
// (when there is room for one more), other pieces continue the open one, a piece that
// ends in F7 closes it; a message keeps at most 255 bytes; a lone timing clock or
// active sensing byte is dropped.
class Model {
 public:
  void receive(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (bytes.size() == 1 && (bytes[0] == 0xF8 || bytes[0] == 0xFE)) return;
    if (bytes[0] == 0xF0) {
      open_ = done_.size() < ReceiveQueue::kSlots - 1;
      current_ = {};
    }
    if (open_) {
      for (const std::uint8_t b : bytes) {
        if (current_.bytes.size() < ReceiveQueue::kSlotBytes) {
          current_.bytes.push_back(b);
        } else {
          current_.overlong = true;
        }
      }
    }
    if (bytes.back() == 0xF7) {
      if (open_) done_.push_back(current_);
      open_ = false;
    }
  }

  bool take(ModelMessage& message) {
    if (done_.empty()) return false;
    message = done_.front();
    done_.pop_front();
    return true;
  }

  bool empty() const { return done_.empty(); }

  void reset() {
    done_.clear();
    open_ = false;
  }

 private:
  std::deque<ModelMessage> done_;
  ModelMessage current_;
  bool open_ = false;
};

// Takes one message from both and checks that they agree.
bool takeOne(ReceiveQueue& queue, Model& model) {
  ReceivedMessage got;
  ModelMessage want;
  const bool fromQueue = queue.take(got);
  const bool fromModel = model.take(want);
  FUZZ_CHECK(fromQueue == fromModel);
  if (!fromQueue) return false;
  const auto view = got.view();
  FUZZ_CHECK(view.size() == want.bytes.size());
  FUZZ_CHECK(std::equal(view.begin(), view.end(), want.bytes.begin()));
  FUZZ_CHECK(got.overlong == want.overlong);
  // Every message starts with F0; a complete one ends in F7.
  FUZZ_CHECK(!view.empty() && view.front() == 0xF0);
  FUZZ_CHECK(got.overlong || view.back() == 0xF7);
  FUZZ_CHECK(!got.overlong || view.size() == ReceiveQueue::kSlotBytes);
  return true;
}

// Hands a piece to both, copied into a buffer of its own size so that a read past the
// piece shows.
void deliver(ReceiveQueue& queue, Model& model, std::span<const std::uint8_t> source) {
  const std::vector<std::uint8_t> piece(source.begin(), source.end());
  queue.receive(piece);
  model.receive(piece);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  // The queue is large (100 slots of 256 bytes): a fresh one per input keeps inputs
  // independent.
  auto queue = std::make_unique<ReceiveQueue>();
  Model model;

  while (!in.empty()) {
    const std::uint8_t c = in.byte();
    switch (c >> 6) {
      case 0:
        deliver(*queue, model, in.take((c & 0x3Fu) + 1));
        break;
      case 1: {
        const std::size_t length = ((std::size_t{c} & 0x03u) << 8 | in.byte()) + 1;
        deliver(*queue, model, in.take(length));
        break;
      }
      case 2:
        for (unsigned i = 0; i <= (c & 0x3Fu); ++i) {
          if (!takeOne(*queue, model)) break;
        }
        break;
      default:
        if (c == 0xFF) {
          queue->reset();
          model.reset();
        } else {
          deliver(*queue, model, in.take(c % 3u + 1));
        }
        break;
    }
    FUZZ_CHECK(queue->empty() == model.empty());
  }
  while (takeOne(*queue, model)) {
  }
  FUZZ_CHECK(queue->empty());
  return 0;
}
