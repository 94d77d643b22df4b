#include "scan/local_contrast.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vp::scan {

namespace {

// Two pixels' levels add up to at most this.
constexpr std::int32_t kLargestSum = 2 * 255;

// The largest p with 2^p <= n (n >= 1).
std::int32_t floor_log2(std::int32_t n) { return 31 - std::countl_zero(static_cast<std::uint32_t>(n)); }

}  // namespace

LocalRange::LocalRange(std::int32_t width, std::int32_t radius, std::int32_t inner_radius)
    : width_(std::max(width, 1)),
      pairs_((width_ + 1) / 2),
      radius_(std::max(radius, 2)),
      inner_radius_(std::clamp(inner_radius, 1, radius_ - 1)),
      inner_pairs_((inner_radius_ + 1) / 2),
      pair_radius_(std::max(inner_pairs_ + 1, (radius_ + 1) / 2)),
      rows_(2 * radius_ + 1),
      padded_(pairs_ + 2 * pair_radius_),
      levels_(floor_log2(2 * pair_radius_ + 1) + 1) {
  const auto padded = static_cast<std::size_t>(padded_);
  const auto pairs = static_cast<std::size_t>(pairs_);
  sums_ = ZeroedBuffer<std::uint16_t>(padded);
  most_runs_ = ZeroedBuffer<std::uint16_t>(static_cast<std::size_t>(levels_ - 1) * padded);
  least_runs_ = ZeroedBuffer<std::uint16_t>(static_cast<std::size_t>(levels_ - 1) * padded);
  // A last pair beyond the last row: gathered two pairs at a time, a span may read one pair past its row.
  window_ = ZeroedBuffer<std::int16_t>(4 * static_cast<std::size_t>(rows_) * pairs + 4);
}

std::uint64_t LocalRange::memory(std::int32_t width, std::int32_t radius) {
  // Four values a pair over 2 radius + 1 rows, the row's runs of powers of two
  // either way, and four rows, of two-byte sums.
  const std::uint64_t pairs = static_cast<std::uint64_t>(std::max(width, 1) + 1) / 2 + 12;
  const auto rows = 2 * static_cast<std::uint64_t>(std::max(radius, 2)) + 1;
  return pairs * 2 * (4 * rows + 5 + 2 * static_cast<std::uint64_t>(floor_log2(static_cast<std::int32_t>(rows))));
}

void LocalRange::build_runs() {
  const auto padded = static_cast<std::size_t>(padded_);
  for (std::int32_t p = 1; p < levels_; ++p) {
    const auto half = static_cast<std::size_t>(1) << (p - 1);
    const std::size_t n = padded - 2 * half + 1;
    const std::uint16_t* most_in = p == 1 ? sums_.data() : most_runs_.data() + (p - 2) * padded;
    const std::uint16_t* least_in = p == 1 ? sums_.data() : least_runs_.data() + (p - 2) * padded;
    std::uint16_t* most_out = most_runs_.data() + (p - 1) * padded;
    std::uint16_t* least_out = least_runs_.data() + (p - 1) * padded;
    for (std::size_t k = 0; k < n; ++k) most_out[k] = std::max(most_in[k], most_in[k + half]);
    for (std::size_t k = 0; k < n; ++k) least_out[k] = std::min(least_in[k], least_in[k + half]);
  }
}

LocalRange::Cover LocalRange::cover(const std::uint16_t* runs, std::int32_t run, std::int32_t offset) const {
  // Two runs of a power of two that overlap cover the run: the extreme of both is its extreme.
  const std::int32_t p = floor_log2(run);
  const std::uint16_t* s =
      (p == 0 ? sums_.data() : runs + static_cast<std::size_t>(p - 1) * static_cast<std::size_t>(padded_)) + offset;
  return {s, s + (run - (std::int32_t{1} << p))};
}

void LocalRange::add_row(const std::uint8_t* grey) {
  // Pairs padded with the edge pairs, so that the window is clipped to the row;
  // pair k is padded pair k + pair_radius_. An odd last pixel pairs with itself.
  std::uint16_t* sums = sums_.data() + pair_radius_;
  const std::int32_t whole = width_ / 2;
  for (std::int32_t k = 0; k < whole; ++k) sums[k] = static_cast<std::uint16_t>(grey[2 * k] + grey[2 * k + 1]);
  if (whole < pairs_) sums[whole] = static_cast<std::uint16_t>(2 * grey[width_ - 1]);
  std::fill(sums_.data(), sums, sums[0]);
  std::fill(sums + pairs_, sums_.data() + sums_.size(), sums[pairs_ - 1]);
  build_runs();
  const std::int32_t run = 2 * pair_radius_ + 1, inner = 2 * inner_pairs_ + 1, side = pair_radius_ - inner_pairs_;
  const Cover brightest = cover(most_runs_.data(), run, 0);
  const Cover inner_brightest = cover(most_runs_.data(), inner, side);
  const Cover darkest = cover(least_runs_.data(), run, 0);
  // Beside the inner square: `side` pairs on the left, as many on the right.
  const Cover left = cover(least_runs_.data(), side, 0);
  const Cover right = cover(least_runs_.data(), side, pair_radius_ + inner_pairs_ + 1);
  std::int16_t* window =
      window_.data() + static_cast<std::size_t>(added_++ % rows_) * 4 * static_cast<std::size_t>(pairs_);
  for (std::size_t k = 0; k < static_cast<std::size_t>(pairs_); ++k) {
    const std::uint16_t beside = std::min(std::min(left.s[k], left.t[k]), std::min(right.s[k], right.t[k]));
    window[4 * k] = static_cast<std::int16_t>(std::max(brightest.s[k], brightest.t[k]));
    window[4 * k + 1] = static_cast<std::int16_t>(kLargestSum - std::min(darkest.s[k], darkest.t[k]));
    window[4 * k + 2] = static_cast<std::int16_t>(std::max(inner_brightest.s[k], inner_brightest.t[k]));
    window[4 * k + 3] = static_cast<std::int16_t>(kLargestSum - beside);
  }
}

void LocalRange::around_pairs(std::int32_t row, std::int32_t first_pair, std::int32_t count, Extremes* out) const {
  const std::int32_t first = std::max({0, row - radius_, added_ - rows_}), last = std::min(added_ - 1, row + radius_);
  const std::int32_t inner_first = std::max(first, row - inner_radius_),
                     inner_last = std::min(last, row + inner_radius_);
  const std::size_t step = 4 * static_cast<std::size_t>(pairs_);
  const std::int32_t blocks = (count + 1) / 2;  // eight values, two pairs, a block
  const std::int16_t* window = window_.data() + 4 * static_cast<std::size_t>(first_pair);
  // The rows outside the inner square and those within it, each gathered by the
  // maximum over every value: blocks of eight values the compiler widens.
  std::int16_t outside[4 * kSpan], inside[4 * kSpan];
  std::fill(outside, outside + 8 * blocks, std::int16_t{0});
  std::fill(inside, inside + 8 * blocks, std::int16_t{0});
  const auto gather = [&](std::int32_t from, std::int32_t to, std::int16_t* into) {
    if (from > to) return;
    std::int32_t slot = from % rows_;
    for (std::int32_t r = from; r <= to; ++r) {
      const std::int16_t* v = window + static_cast<std::size_t>(slot) * step;
      for (std::int32_t b = 0; b < blocks; ++b)
        for (std::int32_t j = 8 * b; j < 8 * b + 8; ++j) into[j] = std::max(into[j], v[j]);
      if (++slot == rows_) slot = 0;
    }
  };
  gather(first, inner_first - 1, outside);
  gather(inner_last + 1, last, outside);
  gather(inner_first, inner_last, inside);
  for (std::int32_t k = 0; k < count; ++k) {
    const std::int16_t* o = outside + 4 * k;
    const std::int16_t* i = inside + 4 * k;
    out[k].brightest = static_cast<std::uint16_t>(std::max(o[0], i[0]));
    out[k].darkest = static_cast<std::uint16_t>(kLargestSum - std::max(o[1], i[1]));
    out[k].inner_brightest = static_cast<std::uint16_t>(i[2]);
    out[k].outer_darkest = static_cast<std::uint16_t>(kLargestSum - std::max(o[1], i[3]));
  }
}

std::int32_t local_radius(std::int32_t block) { return std::clamp(block / 4, 4, 12); }
std::int32_t inner_radius(std::int32_t block) { return std::max(3, local_radius(block) / 2); }

// Halfway from the ink to the threshold is too dark for a stain or a shadow:
// filled areas wider than the window count as ink from there. A stroke stands
// at least 0.38 of the ink's depth below the paper next to it (the back page's
// text, a crease and the paper's noise, six deviations, do not), a faint one
// 0.45 of it.
LocalRule local_rule(std::int32_t ink, std::int32_t paper, double spread, std::int32_t threshold,
                     std::int32_t ceiling) {
  LocalRule rule;
  rule.threshold = threshold;
  rule.dark = (ink + threshold + 1) / 2;
  rule.depth = std::max(static_cast<std::int32_t>(std::lround(0.38 * (paper - ink))),
                        static_cast<std::int32_t>(std::lround(6 * spread)));
  rule.faint_depth = std::max(rule.depth, static_cast<std::int32_t>(std::lround(0.45 * (paper - ink))));
  rule.ceiling = ceiling;
  return rule;
}

}  // namespace vp::scan
