// LineData: the segment table that tracing fills and everything after it reads.
//
// A record is four signed 32-bit grid coordinates (x1, y1) to (x2, y2), y growing
// upwards. size() is the number of records held. Capacity starts at 1024 records
// and grows by 1024 records, keeping its contents.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

namespace vp {

struct LineRecord {
  std::int32_t x1, y1, x2, y2;
  friend bool operator==(const LineRecord&, const LineRecord&) = default;
};

class LineData {
 public:
  static constexpr std::int32_t kBlock = 1024;

  // Empties the table and brings its storage back to one block of 1024 records.
  // False when the memory cannot be had (the table is then empty, capacity 0).
  bool reset_storage();
  // Releases the storage: nothing held, capacity 0.
  void release();

  // AddLineData: appends the record. False when the table could not grow; its
  // storage is then released and it holds nothing.
  bool add(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

  std::int32_t size() const { return size_; }
  std::int32_t capacity() const { return capacity_; }
  // Keeps the first `n` records (n must not exceed size()).
  void truncate(std::int32_t n) { size_ = n < 0 ? 0 : n; }
  std::span<const LineRecord> records() const { return first(size_); }

  // The first n records (n must not exceed the capacity).
  std::span<const LineRecord> first(std::int32_t n) const {
    return {data_.get(), static_cast<std::size_t>(n < 0 ? 0 : n)};
  }
  LineRecord* data() { return data_.get(); }
  const LineRecord* data() const { return data_.get(); }

  // Takes over another table's storage, records and capacity (special mode's NewLines).
  void adopt(LineData&& other);

  // Test hook: makes the next growth fail as if memory were exhausted.
  void fail_next_growth_for_testing() { fail_next_growth_ = true; }

 private:
  struct FreeDeleter {
    void operator()(LineRecord* p) const { std::free(p); }
  };
  bool resize_storage(std::int32_t records);

  std::unique_ptr<LineRecord, FreeDeleter> data_;
  std::int32_t capacity_ = 0;
  std::int32_t size_ = 0;
  bool fail_next_growth_ = false;
};

}  // namespace vp
