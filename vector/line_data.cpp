#include "vector/line_data.h"

#include <cstdlib>
#include <utility>

namespace vp {

bool LineData::resize_storage(std::int32_t records) {
  if (fail_next_growth_) {
    fail_next_growth_ = false;
    return false;
  }
  // realloc keeps the records held; large blocks are remapped rather than copied,
  // so growing by one block at a time stays cheap.
  void* grown = std::realloc(data_.get(), static_cast<std::size_t>(records) * sizeof(LineRecord));
  if (grown == nullptr) return false;
  data_.release();
  data_.reset(static_cast<LineRecord*>(grown));
  capacity_ = records;
  return true;
}

bool LineData::reset_storage() {
  if (resize_storage(kBlock)) return true;
  release();
  return false;
}

void LineData::release() {
  data_.reset();
  capacity_ = 0;
}

std::int32_t LineData::add(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  if (count_ < 1) return 2;  // the driver starts the count at 1 before anything is added
  if (count_ > capacity_) {
    // Grow by one block when the table is exactly full; a table released after a
    // failed growth (count beyond its capacity of 0) stays empty.
    const bool growable = count_ == capacity_ + 1 && capacity_ <= INT32_MAX - kBlock;
    if (!growable || !resize_storage(capacity_ + kBlock)) {
      release();
      return 2;
    }
  }
  data_.get()[count_ - 1] = LineRecord{x1, y1, x2, y2};
  ++count_;
  return 0;
}

void LineData::adopt(LineData&& other) {
  data_ = std::move(other.data_);
  capacity_ = std::exchange(other.capacity_, 0);
  count_ = other.count_;
}

}  // namespace vp
