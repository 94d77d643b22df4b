#include "scan/local_contrast.h"

#include <algorithm>
#include <cmath>

namespace vp::scan {

LocalRange::LocalRange(std::int32_t width, std::int32_t radius, std::int32_t inner_radius)
    : width_(std::max(width, 1)),
      pairs_((width_ + 1) / 2),
      radius_(std::max(radius, 2)),
      inner_radius_(std::clamp(inner_radius, 1, radius_ - 1)),
      inner_pairs_((inner_radius_ + 1) / 2),
      pair_radius_(std::max(inner_pairs_ + 1, (radius_ + 1) / 2)),
      rows_(2 * radius_ + 1) {
  const auto padded = static_cast<std::size_t>(pairs_ + 2 * pair_radius_);
  sums_ = ZeroedBuffer<std::uint16_t>(padded);
  scratch_ = ZeroedBuffer<std::uint16_t>(static_cast<std::size_t>(pairs_));
  const std::size_t plane = static_cast<std::size_t>(rows_) * static_cast<std::size_t>(pairs_);
  most_ = ZeroedBuffer<std::uint16_t>(plane);
  least_ = ZeroedBuffer<std::uint16_t>(plane);
  inner_most_ = ZeroedBuffer<std::uint16_t>(plane);
  side_least_ = ZeroedBuffer<std::uint16_t>(plane);
}

std::uint64_t LocalRange::memory(std::int32_t width, std::int32_t radius) {
  // Four planes of 2 radius + 1 rows and two rows, of two-byte sums a pair.
  const std::uint64_t pairs = static_cast<std::uint64_t>(std::max(width, 1) + 1) / 2 + 12;
  return pairs * 2 * (4 * (2 * static_cast<std::uint64_t>(std::max(radius, 2)) + 1) + 3);
}

template <class Pick>
void LocalRange::slide(std::int32_t run, std::int32_t offset, Pick pick, std::uint16_t* out) const {
  // One pass over the row per pair of the window: short windows, loops over plain arrays.
  const std::uint16_t* s = sums_.data() + offset;
  std::copy(s, s + pairs_, out);
  for (std::int32_t j = 1; j < run; ++j)
    for (std::int32_t k = 0; k < pairs_; ++k) out[k] = pick(out[k], s[k + j]);
}

void LocalRange::add_row(const std::uint8_t* grey) {
  // Pairs padded with the edge pairs, so that the window is clipped to the row;
  // pair k is padded pair k + pair_radius_. An odd last pixel pairs with itself.
  std::uint16_t* sums = sums_.data() + pair_radius_;
  for (std::int32_t k = 0; k < pairs_; ++k)
    sums[k] = static_cast<std::uint16_t>(grey[2 * k] + grey[std::min(2 * k + 1, width_ - 1)]);
  std::fill(sums_.data(), sums, sums[0]);
  std::fill(sums + pairs_, sums_.data() + sums_.size(), sums[pairs_ - 1]);
  last_row_ = -1;  // a window asked for before may gain rows
  const std::size_t slot = static_cast<std::size_t>(added_++ % rows_) * static_cast<std::size_t>(pairs_);
  const auto most = [](std::uint16_t a, std::uint16_t b) { return a > b ? a : b; };
  const auto least = [](std::uint16_t a, std::uint16_t b) { return a < b ? a : b; };
  const std::int32_t run = 2 * pair_radius_ + 1, inner = 2 * inner_pairs_ + 1, side = pair_radius_ - inner_pairs_;
  slide(run, 0, most, most_.data() + slot);
  slide(inner, side, most, inner_most_.data() + slot);
  slide(run, 0, least, least_.data() + slot);
  // Beside the inner square: `side` pairs on the left, as many on the right.
  std::uint16_t* beside = side_least_.data() + slot;
  std::uint16_t* right = scratch_.data();
  slide(side, 0, least, beside);
  slide(side, pair_radius_ + inner_pairs_ + 1, least, right);
  for (std::int32_t k = 0; k < pairs_; ++k) beside[k] = least(beside[k], right[k]);
}

LocalRange::Extremes LocalRange::around(std::int32_t row, std::int32_t x) const {
  // The two pixels of a pair share their window: the last one asked is kept.
  const std::int32_t column = x / 2;
  if (row == last_row_ && column == last_column_) return last_;
  Extremes e;
  const std::int32_t first = std::max({0, row - radius_, added_ - rows_}), last = std::min(added_ - 1, row + radius_);
  const std::int32_t inner_first = std::max(first, row - inner_radius_),
                     inner_last = std::min(last, row + inner_radius_);
  const std::size_t plane = most_.size(), step = static_cast<std::size_t>(pairs_);
  std::size_t at = static_cast<std::size_t>(first % rows_) * step + static_cast<std::size_t>(column);
  const auto next = [&] {
    at += step;
    if (at >= plane) at -= plane;
  };
  for (std::int32_t r = first; r <= last; ++r, next()) {
    e.brightest = std::max(e.brightest, most_[at]);
    e.darkest = std::min(e.darkest, least_[at]);
    const bool inner = r >= inner_first && r <= inner_last;
    e.outer_darkest = std::min(e.outer_darkest, inner ? side_least_[at] : least_[at]);
    if (inner) e.inner_brightest = std::max(e.inner_brightest, inner_most_[at]);
  }
  last_row_ = row;
  last_column_ = column;
  last_ = e;
  return e;
}

std::uint16_t pack(const LocalLevels& l) {
  return static_cast<std::uint16_t>(std::clamp(l.brightest, 0, 255) / 2 << 9 | std::clamp(l.darkest, 0, 255) / 4 << 3 |
                                    (l.sharp ? 4 : 0) | (l.narrow ? 2 : 0) | (l.goes_on ? 1 : 0));
}

namespace {
constexpr std::int32_t kFaintRaiseTenths = 6;
}  // namespace

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

// Ink where the pixel is dark enough on its own; else only where the window
// holds a stroke and the pixel lies on its dark side. A stroke is deep enough
// (a stain's or a shadow's smooth fall is not), narrow (within the inner square
// the paper comes most of the way back: a stain's rim, as dark as pencil, is
// wider and softer). Its dark side is below halfway between the window's
// brightest and darkest, which keeps a stroke's width. Beside a stroke the
// sheet's threshold catches, that threshold bounds it; a faint stroke the
// threshold would lose (pencil: its darkest lighter than rule.dark) gets a
// level part of the way up to its own halfway, if it goes on beyond the inner
// square (a speck of dust does not) and is sharp (the back page's text, as
// faint, is blurred by the paper). Only part of the way: what the sharpness
// lets through of that text would widen into ink.
bool locally_ink(std::int32_t level, const LocalLevels& around, const LocalRule& rule) {
  if (level < rule.dark) return true;
  const std::int32_t brightest = around.brightest, darkest = around.darkest;
  if (level >= rule.ceiling || brightest - darkest < rule.depth || !around.narrow) return false;
  const std::int32_t halfway = (brightest + darkest + 1) / 2, kept = std::min(rule.threshold, halfway);
  if (darkest < rule.dark || brightest - darkest < rule.faint_depth || !around.goes_on || !around.sharp)
    return level < kept;
  return level < std::max(kept, rule.threshold + (halfway - rule.threshold) * kFaintRaiseTenths / 10);
}

}  // namespace vp::scan
