#include "app/smf/ByteBuffer.h"

#include <cerrno>
#include <cstdint>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace quaverly {

namespace {
// Below this the heap is as quick and wastes less.
constexpr std::size_t kMapFrom = 256 * 1024;
constexpr std::size_t kHugePage = 2 * 1024 * 1024;
}  // namespace

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      capacity_(std::exchange(other.capacity_, 0)),
      mappedLength_(std::exchange(other.mappedLength_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = std::exchange(other.capacity_, 0);
    mappedLength_ = std::exchange(other.mappedLength_, 0);
  }
  return *this;
}

ByteBuffer ByteBuffer::allocate(std::size_t capacity) noexcept {
  ByteBuffer buffer;
#if defined(__linux__)
  if (capacity >= kMapFrom && capacity <= SIZE_MAX - 2 * kHugePage) {
    // Map one huge page more than needed, then trim so that the buffer starts on a
    // huge page boundary.
    const std::size_t length = (capacity + kHugePage - 1) & ~(kHugePage - 1);
    void* raw = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return buffer;
    const auto rawStart = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t start = (rawStart + kHugePage - 1) & ~std::uintptr_t{kHugePage - 1};
    const std::size_t head = start - rawStart;
    if (head != 0) ::munmap(raw, head);
    if (kHugePage - head != 0) ::munmap(reinterpret_cast<void*>(start + length), kHugePage - head);
    void* mapped = reinterpret_cast<void*>(start);
    // Hints: without them the pages come one fault at a time, as from the heap. A
    // system without the memory says so here rather than failing a later page fault.
    ::madvise(mapped, length, MADV_HUGEPAGE);
#if defined(MADV_POPULATE_WRITE)
    if (::madvise(mapped, length, MADV_POPULATE_WRITE) != 0 && errno == ENOMEM) {
      ::munmap(mapped, length);
      return buffer;
    }
#endif
    buffer.data_ = static_cast<std::uint8_t*>(mapped);
    buffer.capacity_ = capacity;
    buffer.mappedLength_ = length;
    return buffer;
  }
#endif
  buffer.data_ = new (std::nothrow) std::uint8_t[capacity == 0 ? 1 : capacity];
  if (buffer.data_) buffer.capacity_ = capacity;
  return buffer;
}

void ByteBuffer::release() noexcept {
  if (!data_) return;
#if defined(__linux__)
  if (mappedLength_ != 0)
    ::munmap(data_, mappedLength_);
  else
#endif
    delete[] data_;
  data_ = nullptr;
  capacity_ = 0;
  mappedLength_ = 0;
}

}  // namespace quaverly
