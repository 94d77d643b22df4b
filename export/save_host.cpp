#include "export/save_host.h"

#include <algorithm>
#include <cmath>

namespace vp {

int saving_bar_position(std::int64_t i, std::int64_t count) {
  if (count <= 0) return 0;
  // Divided first, then scaled, in the extended type; truncated, not rounded.
  const long double fraction = static_cast<long double>(i) / static_cast<long double>(count);
  return static_cast<int>(std::trunc(fraction * 100.0L));
}

int SavingBar::position(std::int64_t i, std::int64_t count) {
  if (count == count_ && i >= from_ && i <= until_) return position_;
  position_ = saving_bar_position(i, count);
  count_ = count;
  from_ = i;
  until_ = i;
  // Worked exactly, i × 100 / count reaches position + 1 at record
  // ceil((position + 1) × count / 100). The floating-point result lies within a
  // few parts in 2^52 of the exact one, far less than a record's 100 / count:
  // up to two records before that one, it stays below position + 1.
  constexpr std::int64_t kMostRecords = std::int64_t{1} << 40;
  if (count > 0 && count <= kMostRecords && position_ < 100) {
    const std::int64_t step = ((position_ + 1) * count + 99) / 100;
    until_ = std::max(i, step - 2);
  }
  return position_;
}

}  // namespace vp
