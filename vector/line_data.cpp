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
  size_ = 0;
  if (resize_storage(kBlock)) return true;
  release();
  return false;
}

void LineData::release() {
  data_.reset();
  capacity_ = 0;
  size_ = 0;
}

bool LineData::add(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
  if (size_ == capacity_) {
    if (capacity_ > INT32_MAX - kBlock || !resize_storage(capacity_ + kBlock)) {
      release();
      return false;
    }
  }
  data_.get()[size_++] = LineRecord{x1, y1, x2, y2};
  return true;
}

void LineData::adopt(LineData&& other) {
  data_ = std::move(other.data_);
  capacity_ = std::exchange(other.capacity_, 0);
  size_ = std::exchange(other.size_, 0);
}

}  // namespace vp
