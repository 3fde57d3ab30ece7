// A fixed-size byte buffer whose contents start out unspecified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quaverly {

// Large buffers come straight from the system, in huge pages where the system offers
// them, with every page mapped in at once. Touching fresh 4 KiB pages one at a time costs
// a fault each, and on virtual machines those faults can cost more than everything else
// done with a megabyte of MIDI data; huge pages also spare the TLB when a merge reads 64
// tracks at 64 places at once.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ~ByteBuffer() { release(); }
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // A buffer of `capacity` bytes, or an empty one (data() null) if there is no memory.
  static ByteBuffer allocate(std::size_t capacity) noexcept;

  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  explicit operator bool() const { return data_ != nullptr; }

  void reset() noexcept { release(); }

 private:
  void release() noexcept;

  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
  std::size_t mappedLength_ = 0;  // non-zero: from the system directly, not the heap
};

}  // namespace quaverly
