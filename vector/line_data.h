// LineData: the segment table that tracing fills and everything after it reads.
//
// A record is four signed 32-bit grid coordinates (x1, y1) to (x2, y2), y growing
// upwards. The table keeps the counting convention of the conversion: while records
// are being added, count() (LineCount) is one more than the records held; the driver
// lowers it by one at the end, after which it is exactly the number held.
// Capacity starts at 1024 records and grows by 1024 records, keeping its contents.
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

  // Brings the storage back to one block of 1024 records; LineCount is untouched.
  // False when the memory cannot be had (the table is then empty, capacity 0).
  bool reset_storage();
  // Releases the storage (capacity 0).
  void release();

  // AddLineData: writes the record at index count() - 1 and raises count().
  // Returns 0, or 2 when the table could not grow; the storage is then released.
  std::int32_t add(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);

  std::int32_t count() const { return count_; }
  void set_count(std::int32_t count) { count_ = count; }
  std::int32_t capacity() const { return capacity_; }

  // The first n records (n must not exceed the capacity).
  std::span<const LineRecord> first(std::int32_t n) const {
    return {data_.get(), static_cast<std::size_t>(n < 0 ? 0 : n)};
  }
  LineRecord* data() { return data_.get(); }
  const LineRecord* data() const { return data_.get(); }

  // Takes over another table's storage, count and capacity (special mode's NewLines).
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
  std::int32_t count_ = 0;
  bool fail_next_growth_ = false;
};

}  // namespace vp
