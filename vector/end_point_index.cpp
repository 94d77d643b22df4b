#include "vector/end_point_index.h"

#include <algorithm>
#include <bit>
#include <new>

namespace vp {

std::size_t EndPointIndex::slot_of(GridPoint p) const {
  const std::uint64_t key =
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.x)) << 32) | static_cast<std::uint32_t>(p.y);
  // Fibonacci hashing: neighbouring lattice points spread over the whole table.
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
}

std::int32_t EndPointIndex::find(GridPoint p) const {
  if (slots_.empty()) return kNone;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t s = slot_of(p);; s = (s + 1) & mask) {
    const std::int32_t id = slots_[s];
    if (id == kNone || points_[static_cast<std::size_t>(id)] == p) return id;
  }
}

void EndPointIndex::build(std::span<const LineRecord> records) {
  // Ids and offsets are 32-bit; a table this large could not be held anyway.
  if (records.size() > (std::size_t{1} << 29)) throw std::bad_alloc();
  const std::size_t ends = 2 * records.size();
  ends_.assign(ends, kNone);
  points_.clear();
  points_.reserve(records.size() + 1);
  // At most half full, so that probes stay short.
  const std::size_t slots = std::bit_ceil(std::max<std::size_t>(2 * ends, 16));
  shift_ = 64 - std::countr_zero(slots);
  slots_.assign(slots, kNone);
  const std::size_t mask = slots - 1;
  for (std::size_t e = 0; e < ends; ++e) {
    const LineRecord& r = records[e / 2];
    const GridPoint p = (e % 2 == 0) ? GridPoint{r.x1, r.y1} : GridPoint{r.x2, r.y2};
    std::size_t s = slot_of(p);
    while (slots_[s] != kNone && points_[static_cast<std::size_t>(slots_[s])] != p) s = (s + 1) & mask;
    if (slots_[s] == kNone) {
      slots_[s] = static_cast<std::int32_t>(points_.size());
      points_.push_back(p);
    }
    ends_[e] = slots_[s];
  }

  const std::size_t n = points_.size();
  end_counts_.assign(n, 0);
  offsets_.assign(n + 1, 0);
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::int32_t a = ends_[2 * r], b = ends_[2 * r + 1];
    ++end_counts_[static_cast<std::size_t>(a)];
    ++end_counts_[static_cast<std::size_t>(b)];
    ++offsets_[static_cast<std::size_t>(a) + 1];
    if (b != a) ++offsets_[static_cast<std::size_t>(b) + 1];
  }
  for (std::size_t i = 0; i < n; ++i) offsets_[i + 1] += offsets_[i];
  members_.assign(static_cast<std::size_t>(offsets_[n]), 0);
  // Filling in record order keeps each point's records in table order.
  std::vector<std::int32_t> fill(offsets_.begin(), offsets_.end() - 1);
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::int32_t a = ends_[2 * r], b = ends_[2 * r + 1];
    members_[static_cast<std::size_t>(fill[static_cast<std::size_t>(a)]++)] = static_cast<std::int32_t>(r);
    if (b != a) members_[static_cast<std::size_t>(fill[static_cast<std::size_t>(b)]++)] = static_cast<std::int32_t>(r);
  }
}

}  // namespace vp
