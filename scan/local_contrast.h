// Auto's second, local look at the pixels between sure ink and sure paper: what
// tells a stroke (dark against paper close by) from a stain, a shadow or the
// back page showing through (dark, or faint, with no paper close by or no depth
// to speak of).
//
// LocalRange keeps the brightest and darkest grey levels around each pixel, over
// a square window of a band of rows. Levels are sums of two neighbouring pixels
// of a row (so that a single noisy pixel counts half; the window moves by such
// pairs), the extremes taken along the row as rows arrive, and down the window's
// rows only where asked: only the pixels between sure ink and sure paper are.
// An inner square tells a narrow stroke, with paper close by on either side,
// from a wide band such as a stain's rim, and a sharp one from the blurred text
// of the back page showing through (the inner brightest), and a stroke,
// which goes on beyond the inner square, from a speck of dust, which does not
// (the darkest of the window outside the inner square).
#pragma once

#include <algorithm>
#include <cstdint>

#include "raster/memory_budget.h"

namespace vp::scan {

class LocalRange {
 public:
  // A window of about 2 `radius` + 1 pixels a side over rows `width` pixels
  // wide, and an inner square of about 2 `inner_radius` + 1 (at least two
  // pixels narrower than the window). May throw std::bad_alloc.
  LocalRange(std::int32_t width, std::int32_t radius, std::int32_t inner_radius);
  // The bytes it takes for rows of `width` pixels.
  static std::uint64_t memory(std::int32_t width, std::int32_t radius);

  // The next row, in order (rows from the bottom up work alike).
  void add_row(const std::uint8_t* grey);
  // Before the first row: the rows added are rows `row`, `row` + 1, ... of the
  // image, for a second range over its later rows.
  void start_at(std::int32_t row) { added_ = row; }
  std::int32_t rows_added() const { return added_; }
  std::int32_t radius() const { return radius_; }
  std::int32_t inner_radius() const { return inner_radius_; }
  // Along a row the window moves by pairs (pixels 2k and 2k + 1): it spans
  // pair_radius() pairs either side of a pixel's pair, the inner square inner_pairs().
  std::int32_t pair_radius() const { return pair_radius_; }
  std::int32_t inner_pairs() const { return inner_pairs_; }

  struct Extremes {  // two-pixel sums
    std::uint16_t brightest = 0, darkest = 0xFFFF;
    std::uint16_t inner_brightest = 0;     // within the inner square
    std::uint16_t outer_darkest = 0xFFFF;  // within the window, outside the inner square
  };
  // The window around each of the pairs first_pair .. first_pair + count - 1
  // (count at most kSpan) of row `row`, clipped to the image, into out[0 ..
  // count - 1], the window's rows swept once for all: rows up to `row` + radius
  // must have been added where the image has them, and none later than that.
  static constexpr std::int32_t kSpan = 32;
  void around_pairs(std::int32_t row, std::int32_t first_pair, std::int32_t count, Extremes* out) const;

 private:
  // Runs of 2^p padded pairs, p = 1 .. levels_ - 1 (p = 0 is the sums), for
  // the brightest (`most`) and the darkest (`least`) alike: any run's extreme
  // is then that of two overlapping runs of a power of two.
  void build_runs();
  // The extreme of `run` padded pairs from k + offset on is that of s[k] and
  // t[k], two overlapping runs of a power of two from `runs`.
  struct Cover {
    const std::uint16_t *s, *t;
  };
  Cover cover(const std::uint16_t* runs, std::int32_t run, std::int32_t offset) const;

  std::int32_t width_, pairs_, radius_, inner_radius_, inner_pairs_, pair_radius_, rows_, padded_, levels_;
  std::int32_t added_ = 0;
  // Zeroed but untouched until rows arrive: a header over no data commits next to nothing.
  ZeroedBuffer<std::uint16_t> sums_, most_runs_, least_runs_;
  // rows_ rows of pairs, four values a pair side by side, so that a window's
  // column is one load a row: the window's brightest, its darkest, the inner
  // square's brightest, the darkest beside the inner square; the darkest ones
  // stored as 510 minus the sum, so that all four gather by the maximum (of
  // signed values, which every vector unit has).
  ZeroedBuffer<std::int16_t> window_;
};

// The window of the local look: a quarter block either side (8 pixels at 400
// dpi), wider than a pen's stroke, narrower than a stain's soft edge or a
// shadow's fall; the inner square about half that.
std::int32_t local_radius(std::int32_t block);
std::int32_t inner_radius(std::int32_t block);

// What the local look needs of the whole sheet, known once every row is in;
// levels relative to the paper (255).
struct LocalRule {
  std::int32_t threshold = 0;    // the sheet's threshold
  std::int32_t dark = 0;         // levels below this are ink with or without paper nearby
  std::int32_t depth = 0;        // the least depth (window's brightest - darkest) of a stroke
  std::int32_t faint_depth = 0;  // the least depth of a faint stroke
  std::int32_t ceiling = 0;      // levels from here up are paper
};
// From the ink's level, the paper's (and its noise, a standard deviation), the
// sheet's threshold and the level the paper's noise allows.
LocalRule local_rule(std::int32_t ink, std::int32_t paper, double spread, std::int32_t threshold, std::int32_t ceiling);

// What the decision needs of a pixel's window, in relative levels.
struct LocalLevels {
  std::int32_t brightest = 255, darkest = 255;
  bool narrow = false;   // within the inner square the paper comes most of the way back
  bool sharp = false;    // ... and all but a tenth of the way (the back page's blurred text does not)
  bool goes_on = false;  // beyond the inner square, the window is darker than halfway
};
// `level` is the pixel's own relative level; `to_relative` turns a two-pixel sum into one.
template <class ToRelative>
LocalLevels local_levels(std::int32_t level, const LocalRange::Extremes& e, ToRelative to_relative) {
  LocalLevels l;
  l.brightest = to_relative(e.brightest);
  l.darkest = to_relative(e.darkest);
  l.narrow = 4 * (to_relative(e.inner_brightest) - level) >= 3 * (l.brightest - level);
  l.sharp = 10 * (to_relative(e.inner_brightest) - level) >= 9 * (l.brightest - level);
  l.goes_on = 2 * to_relative(e.outer_darkest) < l.brightest + l.darkest;
  return l;
}
// Two bytes a pixel: the brightest to within two levels, the darkest to within four.
inline std::uint16_t pack(const LocalLevels& l) {
  return static_cast<std::uint16_t>(std::clamp(l.brightest, 0, 255) / 2 << 9 | std::clamp(l.darkest, 0, 255) / 4 << 3 |
                                    (l.sharp ? 4 : 0) | (l.narrow ? 2 : 0) | (l.goes_on ? 1 : 0));
}
inline LocalLevels unpack(std::uint16_t packed) {
  LocalLevels l;
  l.brightest = (packed >> 9) * 2 + 1;       // the middle of its two levels
  l.darkest = (packed >> 3 & 0x3F) * 4 + 2;  // the middle of its four levels
  l.sharp = (packed & 4) != 0;
  l.narrow = (packed & 2) != 0;
  l.goes_on = (packed & 1) != 0;
  return l;
}

// How far a faint stroke's level is raised: tenths of the way up to its own halfway.
constexpr std::int32_t kFaintRaiseTenths = 6;
// Whether a pixel of the relative `level` is ink, given its window: ink where
// the pixel is dark enough on its own; else only where the window holds a
// stroke and the pixel lies on its dark side. A stroke is deep enough (a
// stain's or a shadow's smooth fall is not), narrow (within the inner square
// the paper comes most of the way back: a stain's rim, as dark as pencil, is
// wider and softer). Its dark side is below halfway between the window's
// brightest and darkest, which keeps a stroke's width. Beside a stroke the
// sheet's threshold catches, that threshold bounds it; a faint stroke the
// threshold would lose (pencil: its darkest lighter than rule.dark) gets a
// level part of the way up to its own halfway, if it goes on beyond the inner
// square (a speck of dust does not) and is sharp (the back page's text, as
// faint, is blurred by the paper). Only part of the way: what the sharpness
// lets through of that text would widen into ink.
inline bool locally_ink(std::int32_t level, const LocalLevels& around, const LocalRule& rule) {
  if (level < rule.dark) return true;
  const std::int32_t brightest = around.brightest, darkest = around.darkest;
  if (level >= rule.ceiling || brightest - darkest < rule.depth || !around.narrow) return false;
  const std::int32_t halfway = (brightest + darkest + 1) / 2, kept = std::min(rule.threshold, halfway);
  if (darkest < rule.dark || brightest - darkest < rule.faint_depth || !around.goes_on || !around.sharp)
    return level < kept;
  return level < std::max(kept, rule.threshold + (halfway - rule.threshold) * kFaintRaiseTenths / 10);
}
// locally_ink's answer without a jump: over a row's many pixels, no guess of the
// branch predictor to miss.
inline bool locally_ink_flat(std::int32_t level, const LocalLevels& around, const LocalRule& rule) {
  const std::int32_t brightest = around.brightest, darkest = around.darkest, depth = brightest - darkest;
  const std::int32_t halfway = (brightest + darkest + 1) / 2, kept = std::min(rule.threshold, halfway);
  const std::int32_t raised = std::max(kept, rule.threshold + (halfway - rule.threshold) * kFaintRaiseTenths / 10);
  const bool plain = (darkest < rule.dark) | (depth < rule.faint_depth) | !around.goes_on | !around.sharp;
  const bool stroke = (level < rule.ceiling) & (depth >= rule.depth) & around.narrow;
  return (level < rule.dark) | (stroke & (level < (plain ? kept : raised)));
}

}  // namespace vp::scan
