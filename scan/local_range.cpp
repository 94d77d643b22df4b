#include "scan/local_range.h"

#include <algorithm>

namespace vp::scan {

LocalRange::LocalRange(std::int32_t width, std::int32_t radius, std::int32_t inner_radius)
    : width_(std::max(width, 1)),
      radius_(std::max(radius, 0)),
      inner_radius_(std::clamp(inner_radius, 0, radius_)),
      rows_(2 * radius_ + 1) {
  const auto padded = static_cast<std::size_t>(width_ + 2 * radius_);
  sums_.resize(padded);
  forward_max_.resize(padded);
  backward_max_.resize(padded);
  forward_min_.resize(padded);
  backward_min_.resize(padded);
  most_.resize(static_cast<std::size_t>(rows_) * static_cast<std::size_t>(width_));
  least_.resize(most_.size());
  inner_most_.resize(most_.size());
}

void LocalRange::along(std::int32_t run, std::uint16_t* most, std::uint16_t* least) {
  // Runs of `run` padded columns: within each, the extremes from its start
  // forward and from its end backward; a window starting at p then spans the
  // backward extreme at p and the forward one at p + run - 1. The padding
  // beyond a narrower window is skipped at both ends.
  const std::int32_t skip = radius_ - (run - 1) / 2;
  const std::uint16_t* sums = sums_.data() + skip;
  const auto n = static_cast<std::int32_t>(sums_.size()) - 2 * skip;
  for (std::int32_t p = 0; p < n; ++p) {
    const bool starts = p % run == 0;
    forward_max_[static_cast<std::size_t>(p)] =
        starts ? sums[p] : std::max(forward_max_[static_cast<std::size_t>(p) - 1], sums[p]);
    forward_min_[static_cast<std::size_t>(p)] =
        starts ? sums[p] : std::min(forward_min_[static_cast<std::size_t>(p) - 1], sums[p]);
  }
  for (std::int32_t p = n - 1; p >= 0; --p) {
    const bool ends = p % run == run - 1 || p == n - 1;
    backward_max_[static_cast<std::size_t>(p)] =
        ends ? sums[p] : std::max(backward_max_[static_cast<std::size_t>(p) + 1], sums[p]);
    backward_min_[static_cast<std::size_t>(p)] =
        ends ? sums[p] : std::min(backward_min_[static_cast<std::size_t>(p) + 1], sums[p]);
  }
  for (std::int32_t x = 0; x < width_; ++x) {
    const auto first = static_cast<std::size_t>(x), last = static_cast<std::size_t>(x + run - 1);
    most[x] = std::max(backward_max_[first], forward_max_[last]);
    if (least != nullptr) least[x] = std::min(backward_min_[first], forward_min_[last]);
  }
}

void LocalRange::add_row(const std::uint8_t* grey) {
  // Padded with the edge columns' sums, so that the window is clipped to the row.
  std::uint16_t* sums = sums_.data() + radius_;
  for (std::int32_t x = 0; x < width_; ++x)
    sums[x] = static_cast<std::uint16_t>(grey[x] + grey[std::min(x + 1, width_ - 1)]);
  std::fill(sums_.begin(), sums_.begin() + radius_, sums[0]);
  std::fill(sums + width_, sums_.data() + sums_.size(), sums[width_ - 1]);
  const auto slot = static_cast<std::size_t>(added_++ % rows_) * static_cast<std::size_t>(width_);
  along(rows_, most_.data() + slot, least_.data() + slot);
  along(2 * inner_radius_ + 1, inner_most_.data() + slot, nullptr);
}

LocalRange::Extremes LocalRange::around(std::int32_t row, std::int32_t x) const {
  Extremes e{0, 0xFFFF, 0};
  const std::int32_t first = std::max({0, row - radius_, added_ - rows_}), last = std::min(added_ - 1, row + radius_);
  for (std::int32_t r = first; r <= last; ++r) {
    const std::size_t at =
        static_cast<std::size_t>(r % rows_) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x);
    e.brightest = std::max(e.brightest, most_[at]);
    e.darkest = std::min(e.darkest, least_[at]);
    if (r >= row - inner_radius_ && r <= row + inner_radius_) e.inner_brightest = std::max(e.inner_brightest, inner_most_[at]);
  }
  return e;
}

}  // namespace vp::scan
