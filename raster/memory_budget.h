// How much memory the system says a new allocation may take, so that a huge
// image is refused with "out of memory" before it is allocated and touched,
// rather than letting the system kill the program half-way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

namespace vp {

// The smaller of the memory the system reports as available (MemAvailable) and
// the room left under this process's control-group limit, in bytes; empty when
// the system tells neither.
std::optional<std::uint64_t> available_memory_bytes();

// Test hook: pretend the system has this much available (empty: ask the system).
void set_available_memory_for_testing(std::optional<std::uint64_t> bytes);

// Throws std::bad_alloc when the system says fewer than `bytes` are available:
// for working memory that is about to be allocated and filled.
void claim_memory(std::uint64_t bytes);

// `count` zeroed elements of `size` bytes from calloc, or std::bad_alloc when the
// block cannot be had or is larger than the memory available. calloc hands out
// fresh pages untouched, so a block costs memory only where it is written.
void* zeroed_block(std::size_t count, std::size_t size);

// A reader's working buffer (a tile, a band of rows, a whole-image mask): checked
// against the memory available as the grid is, and costing memory only as the
// decoded data fills it, so that a header claiming vast tiles over a few bytes of
// data commits next to nothing.
template <class T>
class ZeroedBuffer {
 public:
  ZeroedBuffer() = default;
  explicit ZeroedBuffer(std::size_t count)
      : data_(count != 0 ? static_cast<T*>(zeroed_block(count, sizeof(T))) : nullptr), size_(count) {}

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  T& operator[](std::size_t i) { return data_.get()[i]; }
  const T& operator[](std::size_t i) const { return data_.get()[i]; }
  operator std::span<const T>() const { return {data_.get(), size_}; }

 private:
  struct Free {
    void operator()(T* p) const { std::free(p); }
  };
  std::unique_ptr<T, Free> data_;
  std::size_t size_ = 0;
};

}  // namespace vp
