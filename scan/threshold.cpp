#include "scan/threshold.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "raster/memory_budget.h"
#include "raster/thread_start.h"
#include "scan/kept_pixels.h"
#include "scan/local_contrast.h"
#include "scan/row_bits.h"

namespace vp::scan {
namespace {

constexpr std::size_t words_of(std::int32_t width) { return (static_cast<std::size_t>(width) + 63) / 64; }

// --- Sauvola's local threshold -------------------------------------------------

constexpr std::int32_t kWindowRadius = 15;
constexpr double kSauvolaK = 0.34;
constexpr double kSauvolaRange = 128;

// Rows of levels in sequence, each handed on once the rows of its window (2r + 1
// rows, clipped to the image) have arrived, with prefix sums over the columns of
// the window's levels and squared levels: running column sums over a band of rows.
class WindowBand {
 public:
  // on_row(index, tag, levels, sums, squares, rows): `sums` and `squares` hold
  // width + 1 prefix sums; `rows` is the window's height.
  using OnRow = std::function<bool(std::int32_t, std::int32_t, const std::uint8_t*, const std::uint64_t*,
                                   const std::uint64_t*, std::int32_t)>;

  WindowBand(std::int32_t width, std::int32_t height, OnRow on_row)
      : width_(width),
        height_(height),
        ring_rows_(std::min(height, 2 * kWindowRadius + 2)),
        on_row_(std::move(on_row)) {
    claim_memory(static_cast<std::uint64_t>(width) * (static_cast<std::uint64_t>(ring_rows_) + 24));
    // Zeroed but untouched: the pages cost memory only once rows arrive to fill them.
    const auto columns = static_cast<std::size_t>(width);
    ring_ = ZeroedBuffer<std::uint8_t>(static_cast<std::size_t>(ring_rows_) * columns);
    tag_ = ZeroedBuffer<std::int32_t>(static_cast<std::size_t>(ring_rows_));
    sum_ = ZeroedBuffer<std::uint32_t>(columns);
    squares_ = ZeroedBuffer<std::uint32_t>(columns);
    sum_prefix_ = ZeroedBuffer<std::uint64_t>(columns + 1);
    square_prefix_ = ZeroedBuffer<std::uint64_t>(columns + 1);
  }

  bool add_row(std::int32_t tag, const std::uint8_t* levels) {
    const std::int32_t i = arrived_++;
    std::copy(levels, levels + width_,
              ring_.data() + static_cast<std::size_t>(i % ring_rows_) * static_cast<std::size_t>(width_));
    tag_[static_cast<std::size_t>(i % ring_rows_)] = tag;
    add(row(i), 1);
    for (; next_ < height_ && std::min(height_ - 1, next_ + kWindowRadius) <= i; ++next_) {
      const std::int32_t first = std::max(0, next_ - kWindowRadius);
      while (dropped_ < first) add(row(dropped_++), -1);
      for (std::int32_t x = 0; x < width_; ++x) {
        sum_prefix_[static_cast<std::size_t>(x) + 1] =
            sum_prefix_[static_cast<std::size_t>(x)] + sum_[static_cast<std::size_t>(x)];
        square_prefix_[static_cast<std::size_t>(x) + 1] =
            square_prefix_[static_cast<std::size_t>(x)] + squares_[static_cast<std::size_t>(x)];
      }
      const std::int32_t rows = std::min(height_ - 1, next_ + kWindowRadius) - first + 1;
      if (!on_row_(next_, tag_[static_cast<std::size_t>(next_ % ring_rows_)], row(next_), sum_prefix_.data(),
                   square_prefix_.data(), rows)) {
        return false;
      }
    }
    return true;
  }

 private:
  const std::uint8_t* row(std::int32_t i) const {
    return &ring_[static_cast<std::size_t>(i % ring_rows_) * static_cast<std::size_t>(width_)];
  }
  void add(const std::uint8_t* levels, int sign) {
    for (std::int32_t x = 0; x < width_; ++x) {
      const auto v = static_cast<std::uint32_t>(levels[x]);
      sum_[static_cast<std::size_t>(x)] += sign > 0 ? v : 0u - v;
      squares_[static_cast<std::size_t>(x)] += sign > 0 ? v * v : 0u - v * v;
    }
  }

  std::int32_t width_, height_, ring_rows_;
  OnRow on_row_;
  ZeroedBuffer<std::uint8_t> ring_;
  ZeroedBuffer<std::int32_t> tag_;
  ZeroedBuffer<std::uint32_t> sum_, squares_;
  ZeroedBuffer<std::uint64_t> sum_prefix_, square_prefix_;
  std::int32_t arrived_ = 0, dropped_ = 0, next_ = 0;
};

// Sauvola's threshold at column x of a row that WindowBand hands on:
// m (1 + k (s / R - 1)) over the window's mean m and standard deviation s.
double sauvola_at(std::int32_t x, std::int32_t width, const std::uint64_t* sums, const std::uint64_t* squares,
                  std::int32_t rows) {
  const auto lo = static_cast<std::size_t>(std::max(0, x - kWindowRadius));
  const auto hi = static_cast<std::size_t>(std::min(width - 1, x + kWindowRadius)) + 1;
  const double n = static_cast<double>(rows) * static_cast<double>(hi - lo);
  const double mean = static_cast<double>(sums[hi] - sums[lo]) / n;
  const double deviation = std::sqrt(std::max(0.0, static_cast<double>(squares[hi] - squares[lo]) / n - mean * mean));
  return mean * (1 + kSauvolaK * (deviation / kSauvolaRange - 1));
}

// --- auto: the paper's brightness, then one threshold on relative levels ------

constexpr std::int32_t kClose = 6;  // closing radius in blocks
// Blocks are 2 mm of the sheet (32 pixels at 400 dpi) when the resolution is
// known, 32 pixels when not; so that the closing follows the light on a small
// sheet too, its reach (2 kClose + 1 blocks) is at most half the shorter side.
constexpr double kBlockInches = 0.08;
constexpr std::int32_t kSmallestBlock = 6;
constexpr std::int32_t kLargestBlock = 64;

// Where a block's whole neighbourhood is dark (a filled area wider than the
// closing), the closing over kWide blocks, or as many as reach half the shorter
// side, stands in for it: a wider view, still local, that the light's fall-off
// over that reach cannot darken by this much.
constexpr std::int32_t kWide = 4 * kClose;
constexpr std::int32_t kLittlePaperTenths = 6;  // the closing under 6/10 of the wider view's

std::int32_t wide_radius(std::int32_t width, std::int32_t height, std::int32_t block) {
  return std::clamp(std::min(width, height) / 2 / block, kClose, kWide);
}

std::int32_t block_size(std::int32_t width, std::int32_t height, double dpi) {
  const double by_resolution = dpi >= 50 && dpi <= 4800 ? dpi * kBlockInches : 32.0;
  const double by_size = std::min(width, height) / (2.0 * (2 * kClose + 1));
  return std::clamp(static_cast<std::int32_t>(std::lround(std::min(by_resolution, by_size))), kSmallestBlock,
                    kLargestBlock);
}
// Relative levels below this are ink whatever the threshold; the threshold never goes lower.
constexpr std::int32_t kSureInk = 48;
// Pixels needed before the paper's noise bounds which levels can still be ink.
constexpr std::uint64_t kPaperSample = 1u << 18;
// The share of the ink's pixels darker than the level taken for the ink.
constexpr double kInkPercentile = 0.15;

struct PaperLevel {
  std::int32_t median = 255;
  double spread = 0;  // standard deviation of the paper, robustly: (90th - 75th percentile) / 0.608
};

std::int32_t percentile(const Histogram& h, std::uint64_t total, double fraction) {
  const auto wanted = static_cast<std::uint64_t>(static_cast<double>(total) * fraction);
  std::uint64_t seen = 0;
  for (std::int32_t v = 0; v < 256; ++v) {
    seen += h[static_cast<std::size_t>(v)];
    if (seen > wanted) return v;
  }
  return 255;
}

// The paper is most of a drawing's pixels, but on a dense form or a page of
// small text the blurred edges of the strokes fill much of the sheet's lower
// levels: the paper's level and noise come from the upper quartile and the 90th
// percentile, which lie 0.674 and 1.282 deviations above its median (or the
// median itself, where the edges leave it to the paper).
PaperLevel paper_level(const Histogram& h, std::uint64_t total) {
  if (total == 0) return {};
  const std::int32_t upper_quartile = percentile(h, total, 0.75);
  PaperLevel paper;
  paper.spread = std::max(1.5, (percentile(h, total, 0.9) - upper_quartile) / (1.282 - 0.674));
  paper.median = std::max(percentile(h, total, 0.5),
                          static_cast<std::int32_t>(std::lround(upper_quartile - 0.674 * paper.spread)));
  return paper;
}

// The highest threshold the paper's noise allows: four deviations below its median.
std::int32_t noise_ceiling(const PaperLevel& paper) {
  return std::max(kSureInk, static_cast<std::int32_t>(std::floor(paper.median - 4 * paper.spread)));
}

// Halfway between the paper and the ink: where a blurred edge is, so that strokes
// keep their width. Otsu's threshold tells the ink's pixels from the paper's;
// the ink's level is a low percentile of them, since the pixels of thin and
// blurred strokes never get as dark as the ink itself.
std::int32_t ink_level(const Histogram& h, const PaperLevel& paper) {
  const std::int32_t split = otsu_threshold(h);
  std::uint64_t dark = 0;
  for (std::int32_t v = 0; v < split; ++v) dark += h[static_cast<std::size_t>(v)];
  if (dark == 0) return paper.median;
  Histogram ink{};
  std::copy(h.begin(), h.begin() + split, ink.begin());
  return percentile(ink, dark, kInkPercentile);
}
std::int32_t midway(const Histogram& h, const PaperLevel& paper) {
  return (ink_level(h, paper) + paper.median + 1) / 2;
}

// Pairs of kept pixels this far apart or more have their windows gathered apart:
// sweeping the pairs between would cost more than a second sweep.
constexpr int kGap = 8;

// Fewer rows than this left once the last one is in are classified in order:
// the helper's lane would spend much of what it saves on its window's first rows.
constexpr std::int32_t kLeastAheadRows = 64;

class AutoThreshold {
 public:
  // Without `keep`, only the histogram of relative levels is gathered.
  AutoThreshold(std::int32_t width, std::int32_t height, bool keep, double dpi)
      : width_(width),
        height_(height),
        keep_(keep),
        block_(block_size(width, height, dpi)),
        block_columns_(static_cast<std::int32_t>((std::int64_t{width} + block_ - 1) / block_)),
        block_rows_(static_cast<std::int32_t>((std::int64_t{height} + block_ - 1) / block_)),
        wide_(wide_radius(width, height, block_)),
        ring_rows_(static_cast<std::int32_t>(std::min<std::int64_t>(height, std::int64_t{2 * wide_ + 5} * block_))),
        words_(words_of(width)),
        lane_(keep ? width : 1, block_) {
    const auto blocks = static_cast<std::size_t>(block_columns_) * static_cast<std::size_t>(block_rows_);
    // A few header bytes may claim a vast sheet: its working memory is weighed before it is filled.
    const std::uint64_t columns = static_cast<std::uint64_t>(width);
    claim_memory(blocks * 22 + columns * (static_cast<std::uint64_t>(ring_rows_) + 25) + 128 +
                 (keep ? (std::uint64_t{words_} * 16 + 12) * static_cast<std::uint64_t>(height) +
                             LocalRange::memory(width, local_radius(block_))
                       : 0));
    // Zeroed but untouched: the pages cost memory only as rows arrive to fill them,
    // so that a header over no data commits next to nothing.
    brightest_ = ZeroedBuffer<std::uint16_t>(blocks);
    dilated_ = ZeroedBuffer<std::uint16_t>(blocks);
    closed_ = ZeroedBuffer<std::uint16_t>(blocks);
    for (auto& step : wide_steps_) step = ZeroedBuffer<std::uint16_t>(blocks);
    for (auto& step : close_steps_) step = ZeroedBuffer<std::uint16_t>(blocks);
    paper_ = ZeroedBuffer<float>(blocks);
    ring_ = ZeroedBuffer<std::uint8_t>(static_cast<std::size_t>(ring_rows_) * static_cast<std::size_t>(width));
    ring_row_ = ZeroedBuffer<std::int32_t>(static_cast<std::size_t>(ring_rows_));
    column_start_ = ZeroedBuffer<std::int32_t>(static_cast<std::size_t>(block_columns_) + 1);
    column_weight_ = ZeroedBuffer<float>(static_cast<std::size_t>(width));
    lane_.allocate(width, words_);
    if (keep_) {
      const auto plane = words_ * static_cast<std::size_t>(height);
      sure_ = ZeroedBuffer<std::uint64_t>(plane);
      zone_ = ZeroedBuffer<std::uint64_t>(plane);
      row_of_ = ZeroedBuffer<std::int32_t>(static_cast<std::size_t>(height));
      lane_.kept_from = ZeroedBuffer<std::size_t>(static_cast<std::size_t>(height) + 1);
    }
  }

  void add_row(std::int32_t row_from_top, std::span<const std::uint8_t> grey) {
    const std::int32_t i = arrived_++;
    // Rows from the bottom up (BMP) start in the top-aligned grid's partial last
    // block, so that the blocks cover the same pixels in either order.
    if (i == 0 && height_ > 1 && row_from_top == height_ - 1) offset_ = block_rows_ * block_ - height_;
    const std::int32_t a = i + offset_;
    const auto slot = static_cast<std::size_t>(i % ring_rows_);
    std::copy(grey.begin(), grey.end(), ring_.data() + slot * static_cast<std::size_t>(width_));
    ring_row_[slot] = row_from_top;
    // The brightest two-pixel sum of each block on this row.
    std::uint16_t* bright =
        &brightest_[static_cast<std::size_t>(a / block_) * static_cast<std::size_t>(block_columns_)];
    for (std::int32_t k = 0; k < block_columns_; ++k) {
      const std::int32_t x0 = k * block_;
      const auto x1 = static_cast<std::int32_t>(std::min<std::int64_t>(width_, std::int64_t{x0} + block_));
      std::uint16_t best = bright[k];
      for (std::int32_t x = x0; x + 1 < x1; x += 2)
        best = std::max<std::uint16_t>(best, static_cast<std::uint16_t>(grey[static_cast<std::size_t>(x)] +
                                                                        grey[static_cast<std::size_t>(x) + 1]));
      if ((x1 - x0) % 2 != 0)
        best = std::max<std::uint16_t>(best, static_cast<std::uint16_t>(2 * grey[static_cast<std::size_t>(x1 - 1)]));
      bright[k] = best;
    }
    if (a % block_ == block_ - 1 || i == height_ - 1) {
      measured_rows_ = a / block_ + 1;
      advance();
    }
  }

  // After the last row: the threshold, and every ink row to `sink`.
  std::int32_t finish(const InkRowSink* sink, bool& stopped) {
    const PaperLevel paper = paper_level(histogram_, counted_);
    const std::int32_t ceiling = std::min(zone_top_, noise_ceiling(paper));
    const std::int32_t threshold = std::clamp(midway(histogram_, paper), kSureInk, std::max(kSureInk, ceiling));
    ink_count_ = 0;
    for (std::int32_t v = 0; v < threshold; ++v) ink_count_ += histogram_[static_cast<std::size_t>(v)];
    if (sink == nullptr || !keep_) return threshold;
    const LocalRule local =
        local_rule(std::min(ink_level(histogram_, paper), threshold), paper.median, paper.spread, threshold, ceiling);
    KeptPixels kept{
        words_, sure_.data(), zone_.data(), lane_.values.data(), lane_.extremes.data(), lane_.kept_from.data()};
    if (ahead_) {
      kept.later_row = ahead_->first_row;
      kept.later_levels = ahead_->values.data();
      kept.later_windows = ahead_->extremes.data();
      kept.later_first = ahead_->kept_from.data();
    }
    const bool all_taken = decide_in_bands(kept, local, height_, [&](std::int32_t i) {
      return (*sink)(row_of_[static_cast<std::size_t>(i)],
                     std::span<const std::uint64_t>(&sure_[static_cast<std::size_t>(i) * words_], words_));
    });
    if (!all_taken) stopped = true;
    return threshold;
  }

  bool complete() const { return arrived_ == height_; }
  std::uint64_t ink_count() const { return ink_count_; }
  std::uint64_t pixel_count() const { return counted_; }

 private:
  std::size_t at(std::int32_t j, std::int32_t k) const {
    return static_cast<std::size_t>(j) * static_cast<std::size_t>(block_columns_) + static_cast<std::size_t>(k);
  }
  std::int32_t clamp_row(std::int32_t j) const { return std::clamp(j, 0, block_rows_ - 1); }
  std::int32_t clamp_column(std::int32_t k) const { return std::clamp(k, 0, block_columns_ - 1); }
  // The block rows a step needs finished before it can run: up to this one.
  std::int32_t needed(std::int32_t j) const { return std::min(j, block_rows_ - 1); }

  // What classifying a row works with beside the sheet's state: one lane for
  // the rows in order, a second for a helper classifying the last rows ahead of them.
  struct Lane {
    Lane(std::int32_t width, std::int32_t block) : range(width, local_radius(block), inner_radius(block)) {}
    void allocate(std::int32_t width, std::size_t words) {
      const auto columns = static_cast<std::size_t>(width);
      scale = ZeroedBuffer<float>(columns);
      relative = ZeroedBuffer<std::uint8_t>(columns);
      ink_flags = ZeroedBuffer<std::uint8_t>(words * 64);  // the last word's tail stays 0
      zone_flags = ZeroedBuffer<std::uint8_t>(words * 64);
      kept_level = ZeroedBuffer<std::uint8_t>(columns);
      kept_scale = ZeroedBuffer<float>(columns);
      kept_window = ZeroedBuffer<std::uint16_t>(4 * columns);
    }
    LocalRange range;
    std::vector<float> across;
    ZeroedBuffer<float> scale;
    ZeroedBuffer<std::uint8_t> relative, ink_flags, zone_flags;
    // A row's kept pixels: their levels, scales and windows (four two-pixel sums each).
    ZeroedBuffer<std::uint8_t> kept_level;
    ZeroedBuffer<float> kept_scale;
    ZeroedBuffer<std::uint16_t> kept_window;
    std::vector<std::uint8_t> values;
    std::vector<std::uint16_t> extremes;  // per value: its window (packed LocalLevels)
    // Per row from first_row on, and one more: where its kept pixels start in values.
    std::int32_t first_row = 0;
    ZeroedBuffer<std::size_t> kept_from;
    std::array<std::uint32_t, 256> row_counts{};  // a row's relative levels
    // The helper's lane: the zone's top where it began, and its rows' levels,
    // counted into the sheet's histogram once it is done.
    std::int32_t fixed_top = -1;
    std::vector<std::array<std::uint32_t, 256>> counts;
    bool failed = false;  // out of memory
  };

  // Runs every step whose inputs are complete, then the pixel rows whose paper is known.
  void advance() {
    // The closing, a square's maximum and minimum (clipped to the sheet) taken
    // along the rows, then down the columns.
    const auto most = [](std::uint16_t a, std::uint16_t b) { return std::max(a, b); };
    const auto least = [](std::uint16_t a, std::uint16_t b) { return std::min(a, b); };
    auto& [close_max, close_min] = close_steps_;
    for (; close_rows_[0] < measured_rows_; ++close_rows_[0])
      along_row(brightest_, close_max, close_rows_[0], kClose, most);
    for (; dilated_rows_ < block_rows_ && needed(dilated_rows_ + kClose) < close_rows_[0]; ++dilated_rows_)
      down_column(close_max, dilated_, dilated_rows_, kClose, most);
    for (; close_rows_[1] < dilated_rows_; ++close_rows_[1])
      along_row(dilated_, close_min, close_rows_[1], kClose, least);
    for (; closed_rows_ < block_rows_ && needed(closed_rows_ + kClose) < close_rows_[1]; ++closed_rows_)
      down_column(close_min, closed_, closed_rows_, kClose, least);
    // The wider view's closing, a square's maximum and minimum taken along the
    // rows, then down the columns.
    auto& [across_max, wide_dilated, across_min, wide_closed] = wide_steps_;
    for (; wide_rows_[0] < measured_rows_; ++wide_rows_[0])
      along_row(brightest_, across_max, wide_rows_[0], wide_, most);
    for (; wide_rows_[1] < block_rows_ && needed(wide_rows_[1] + wide_) < wide_rows_[0]; ++wide_rows_[1])
      down_column(across_max, wide_dilated, wide_rows_[1], wide_, most);
    for (; wide_rows_[2] < wide_rows_[1]; ++wide_rows_[2])
      along_row(wide_dilated, across_min, wide_rows_[2], wide_, least);
    for (; wide_rows_[3] < block_rows_ && needed(wide_rows_[3] + wide_) < wide_rows_[2]; ++wide_rows_[3])
      down_column(across_min, wide_closed, wide_rows_[3], wide_, least);
    while (paper_rows_ < block_rows_ && needed(paper_rows_ + 1) < std::min(closed_rows_, wide_rows_[3])) {
      const std::int32_t j = paper_rows_++;
      for (std::int32_t k = 0; k < block_columns_; ++k) {
        float sum = 0;
        for (std::int32_t dj = -1; dj <= 1; ++dj)
          for (std::int32_t dk = -1; dk <= 1; ++dk) {
            const std::size_t b = at(clamp_row(j + dj), clamp_column(k + dk));
            const bool little_paper = closed_[b] * 10 < wide_closed[b] * kLittlePaperTenths;
            sum += little_paper ? wide_closed[b] : closed_[b];
          }
        paper_[at(j, k)] = std::max(1.0f, sum / 18.0f);  // two-pixel sums: half of them
      }
    }
    // The pixel rows whose two nearest block rows have their paper known; once
    // the last row is in, all the rest.
    if (arrived_ == height_ && paper_rows_ == block_rows_) {
      classify_rest();
      return;
    }
    while (classified_ < arrived_) {
      const Between place = between(classified_);
      if (needed(place.j0 + 1) >= paper_rows_) break;
      classify(lane_, classified_++, place);
    }
  }

  struct Between {
    std::int32_t j0;
    float part, whole;
  };
  // Pixel row i lies between the centres of block rows j0 and j0 + 1, `part` /
  // `whole` (2 block) of the way from the one to the other: whole numbers, so
  // that rows read from the bottom up weigh exactly alike.
  Between between(std::int32_t i) const {
    const std::int64_t twice = 2 * std::int64_t{block_};
    const std::int64_t along =
        std::clamp<std::int64_t>(2 * (std::int64_t{i} + offset_) + 1 - block_, 0, twice * (block_rows_ - 1));
    const auto j0 = static_cast<std::int32_t>(std::min<std::int64_t>(along / twice, std::max(block_rows_ - 2, 0)));
    return {j0, static_cast<float>(along - j0 * twice), static_cast<float>(twice)};
  }

  // Once the last row is in, every row not yet classified can be. Where they
  // are many, and at least as many are counted (the zone's top has settled by
  // then), a helper thread classifies the later ones in a lane of its own while
  // this thread classifies the earlier ones. The helper's lane keeps the pixels
  // below the zone's top as it stands now, which is no lower than where it would
  // stand at any of its rows: the pixels it keeps beyond those lie at or above
  // the sheet's ceiling, which the local look takes for paper, so the ink is the
  // same. Its rows' levels join the sheet's histogram in order afterwards,
  // moving the zone's top as they would have; its kept pixels stay in its lane.
  void classify_rest() {
    // Those extra pixels (the zone's top may yet come down a level) cost the
    // helper time: it takes the smaller part.
    const std::int32_t rows = height_ - classified_;
    const std::int32_t middle = classified_ + static_cast<std::int32_t>(std::int64_t{rows} * 5 / 9);
    std::thread started;
    if (keep_ && rows >= kLeastAheadRows && classified_ >= rows &&
        words_ * static_cast<std::size_t>(rows) >= kLeastSplitWords) {
      try {
        claim_memory(LocalRange::memory(width_, local_radius(block_)) + std::uint64_t{24} * width_ +
                     std::uint64_t{1024} * static_cast<std::uint64_t>(height_ - middle));
        ahead_.emplace(width_, block_);
        ahead_->allocate(width_, words_);
        ahead_->range.start_at(std::max(0, middle - ahead_->range.radius()));
        ahead_->first_row = middle;
        ahead_->kept_from = ZeroedBuffer<std::size_t>(static_cast<std::size_t>(height_ - middle) + 1);
        ahead_->fixed_top = zone_top_;
        ahead_->counts.reserve(static_cast<std::size_t>(height_ - middle));
      } catch (const std::bad_alloc&) {
        ahead_.reset();  // then the rows in order, as ever
      }
    }
    if (ahead_) {
      if (!columns_laid_out_) lay_out_columns();  // before the helper reads them
      started = try_start_thread([this, middle] {
        try {
          for (std::int32_t i = middle; i < height_; ++i) classify(*ahead_, i, between(i));
        } catch (const std::bad_alloc&) {
          ahead_->failed = true;
        }
      });
    }
    JoinedThread helper(std::move(started));
    if (!helper.running()) {
      ahead_.reset();
      for (; classified_ < height_; ++classified_) classify(lane_, classified_, between(classified_));
      return;
    }
    for (; classified_ < middle; ++classified_) classify(lane_, classified_, between(classified_));
    helper.join();
    if (ahead_->failed) throw std::bad_alloc();
    for (const auto& counts : ahead_->counts) count_levels(counts);
    ahead_->counts = {};
    classified_ = height_;
  }

  // A classified row's relative levels into the sheet's histogram; once the
  // paper is known well enough, levels it cannot reach stop being kept for later.
  void count_levels(const std::array<std::uint32_t, 256>& counts) {
    for (std::size_t v = 0; v < 256; ++v) histogram_[v] += counts[v];
    counted_ += static_cast<std::uint64_t>(width_);
    if (counted_ >= kPaperSample) zone_top_ = std::min(zone_top_, noise_ceiling(paper_level(histogram_, counted_)) + 1);
  }

  // Row j of `to`: the extreme of `from` over `reach` blocks either side along
  // the row. The row padded with its edge blocks, then one plain loop a step.
  template <class Pick>
  void along_row(const ZeroedBuffer<std::uint16_t>& from, ZeroedBuffer<std::uint16_t>& to, std::int32_t j,
                 std::int32_t reach, Pick pick) {
    const auto columns = static_cast<std::size_t>(block_columns_), r = static_cast<std::size_t>(reach);
    padded_row_.resize(columns + 2 * r);
    const std::uint16_t* row = &from[at(j, 0)];
    std::fill(padded_row_.begin(), padded_row_.begin() + reach, row[0]);
    std::copy(row, row + columns, padded_row_.begin() + reach);
    std::fill(padded_row_.begin() + reach + block_columns_, padded_row_.end(), row[columns - 1]);
    std::uint16_t* out = &to[at(j, 0)];
    const std::uint16_t* padded = padded_row_.data();
    std::copy(row, row + columns, out);
    for (std::size_t d = 0; d <= 2 * r; ++d)
      for (std::size_t k = 0; k < columns; ++k) out[k] = pick(out[k], padded[k + d]);
  }
  // Row j of `to`: the extreme of `from` over `reach` block rows either side down the column.
  template <class Pick>
  void down_column(const ZeroedBuffer<std::uint16_t>& from, ZeroedBuffer<std::uint16_t>& to, std::int32_t j,
                   std::int32_t reach, Pick pick) {
    const auto columns = static_cast<std::size_t>(block_columns_);
    std::uint16_t* out = &to[at(j, 0)];
    std::copy(&from[at(j, 0)], &from[at(j, 0)] + columns, out);
    for (std::int32_t dj = -reach; dj <= reach; ++dj) {
      const std::uint16_t* row = &from[at(clamp_row(j + dj), 0)];
      for (std::size_t k = 0; k < columns; ++k) out[k] = pick(out[k], row[k]);
    }
  }

  // Column x lies between the centres of block columns k and k + 1 (the nearest
  // ones at the edges); the columns of each k follow each other. Laid out with the
  // first row classified, once there is data to spend the memory on.
  void lay_out_columns() {
    columns_laid_out_ = true;
    std::fill(column_start_.data(), column_start_.data() + column_start_.size(), width_);
    for (std::int32_t x = width_ - 1; x >= 0; --x) {
      const double f = std::clamp((x + 0.5) / block_ - 0.5, 0.0, static_cast<double>(block_columns_ - 1));
      const auto k = std::min(static_cast<std::int32_t>(f), std::max(block_columns_ - 2, 0));
      column_start_[static_cast<std::size_t>(k)] = x;
      column_weight_[static_cast<std::size_t>(x)] = static_cast<float>(f - k);
    }
    for (std::int32_t k = block_columns_ - 1; k >= 0; --k)  // block columns no column starts in
      column_start_[static_cast<std::size_t>(k)] =
          std::min(column_start_[static_cast<std::size_t>(k)], column_start_[static_cast<std::size_t>(k) + 1]);
  }

  void classify(Lane& lane, std::int32_t i, const Between& place) {
    if (!columns_laid_out_) lay_out_columns();
    const std::int32_t j0 = place.j0;
    const float part = place.part, whole = place.whole;
    const std::int32_t j1 = std::min(j0 + 1, block_rows_ - 1);
    std::vector<float>& across = lane.across;
    across.resize(static_cast<std::size_t>(block_columns_) + 1);
    for (std::int32_t k = 0; k < block_columns_; ++k)
      across[static_cast<std::size_t>(k)] = (paper_[at(j0, k)] * (whole - part) + paper_[at(j1, k)] * part) / whole;
    across[static_cast<std::size_t>(block_columns_)] = across[static_cast<std::size_t>(block_columns_ - 1)];
    // Block column by block column, so that the loops run over plain arrays.
    for (std::int32_t k = 0; k < block_columns_; ++k) {
      const float left = across[static_cast<std::size_t>(k)], right = across[static_cast<std::size_t>(k) + 1];
      for (std::int32_t x = column_start_[static_cast<std::size_t>(k)];
           x < column_start_[static_cast<std::size_t>(k) + 1]; ++x) {
        const float w = column_weight_[static_cast<std::size_t>(x)];
        lane.scale[static_cast<std::size_t>(x)] = 255.0f / (left * (1 - w) + right * w);
      }
    }
    const std::uint8_t* grey = &ring_[static_cast<std::size_t>(i % ring_rows_) * static_cast<std::size_t>(width_)];
    std::uint8_t* relative = lane.relative.data();
    const float* scale = lane.scale.data();
    const std::int32_t width = width_;  // locals: the byte stores could alias members
    for (std::int32_t x = 0; x < width; ++x) {
      const float v = static_cast<float>(grey[x]) * scale[x] + 0.5f;
      relative[x] = static_cast<std::uint8_t>(static_cast<std::int32_t>(v < 255.0f ? v : 255.0f));
    }
    // Four histograms in turn: runs of paper pixels of one level would otherwise
    // wait on each other's counts.
    std::uint32_t counts[4][256] = {};
    std::int32_t x = 0;
    for (; x + 4 <= width; x += 4) {
      ++counts[0][relative[x]];
      ++counts[1][relative[x + 1]];
      ++counts[2][relative[x + 2]];
      ++counts[3][relative[x + 3]];
    }
    for (; x < width; ++x) ++counts[0][relative[x]];
    std::array<std::uint32_t, 256>& row_counts = lane.fixed_top < 0 ? lane.row_counts : lane.counts.emplace_back();
    for (std::size_t v = 0; v < 256; ++v) row_counts[v] = counts[0][v] + counts[1][v] + counts[2][v] + counts[3][v];
    if (lane.fixed_top < 0) count_levels(row_counts);  // the helper's rows are counted later, in order
    if (!keep_) return;
    row_of_[static_cast<std::size_t>(i)] = ring_row_[static_cast<std::size_t>(i % ring_rows_)];
    // The local window reaches `radius` rows on: all have arrived, and are still in the ring.
    LocalRange& range = lane.range;
    while (range.rows_added() < std::min(arrived_, i + range.radius() + 1)) {
      const auto slot = static_cast<std::size_t>(range.rows_added() % ring_rows_);
      range.add_row(&ring_[slot * static_cast<std::size_t>(width_)]);
    }
    std::uint64_t* sure = &sure_[static_cast<std::size_t>(i) * words_];
    std::uint64_t* zone = &zone_[static_cast<std::size_t>(i) * words_];
    const auto top = static_cast<std::uint8_t>(std::clamp(lane.fixed_top < 0 ? zone_top_ : lane.fixed_top, 0, 255));
    // A byte a pixel first (plain loops the compiler widens), then eight bytes a step into bits.
    std::uint8_t* is_ink = lane.ink_flags.data();
    std::uint8_t* is_kept = lane.zone_flags.data();
    for (std::int32_t x = 0; x < width; ++x) {
      is_ink[x] = relative[x] < kSureInk;
      is_kept[x] = relative[x] >= kSureInk && relative[x] < top;
    }
    // The kept pixels gathered with their windows, word by word, then their
    // windows turned into relative levels in one plain loop.
    std::size_t gathered = 0;
    for (std::size_t k = 0; k < words_; ++k) {
      const std::uint8_t* levels = relative + k * 64;
      sure[k] = bits_of(is_ink + k * 64);
      const std::uint64_t kept = bits_of(is_kept + k * 64);
      zone[k] = kept;
      if (kept == 0) continue;
      // The windows of the word's pairs that hold kept pixels, a run of nearby pairs at a time.
      LocalRange::Extremes windows[LocalRange::kSpan];
      const auto first_pair = static_cast<std::int32_t>(k * 32);
      for (std::uint32_t left = pairs_of(kept); left != 0;) {
        const int start = std::countr_zero(left);
        int end = start;
        for (std::uint32_t after = end < 31 ? left >> (end + 1) : 0; after != 0 && std::countr_zero(after) < kGap;
             after = end < 31 ? left >> (end + 1) : 0)
          end += std::countr_zero(after) + 1;
        range.around_pairs(i, first_pair + start, end - start + 1, windows + start);
        left &= ~((2u << end) - 1);
      }
      for (std::uint64_t z = kept; z != 0; z &= z - 1, ++gathered) {
        const auto b = static_cast<std::size_t>(std::countr_zero(z));
        const LocalRange::Extremes& e = windows[b / 2];
        lane.kept_level[gathered] = levels[b];
        lane.kept_scale[gathered] = 0.5f * scale[k * 64 + b];  // two-pixel sums to relative levels
        lane.kept_window[4 * gathered] = e.brightest;
        lane.kept_window[4 * gathered + 1] = e.darkest;
        lane.kept_window[4 * gathered + 2] = e.inner_brightest;
        lane.kept_window[4 * gathered + 3] = e.outer_darkest;
      }
    }
    const std::size_t at = lane.values.size();
    lane.values.resize(at + gathered);
    lane.extremes.resize(at + gathered);
    std::copy(lane.kept_level.data(), lane.kept_level.data() + gathered, lane.values.data() + at);
    lane.kept_from[static_cast<std::size_t>(i - lane.first_row) + 1] = at + gathered;
    const std::uint8_t* kept_level = lane.kept_level.data();
    const float* kept_scale = lane.kept_scale.data();
    const std::uint16_t* kept_window = lane.kept_window.data();
    std::uint16_t* extremes = lane.extremes.data() + at;
    for (std::size_t j = 0; j < gathered; ++j) {
      const float half_scale = kept_scale[j];
      const auto relative_of = [half_scale](std::uint16_t sum) {
        return static_cast<std::int32_t>(std::min(255.0f, static_cast<float>(sum) * half_scale + 0.5f));
      };
      LocalRange::Extremes e;
      e.brightest = kept_window[4 * j];
      e.darkest = kept_window[4 * j + 1];
      e.inner_brightest = kept_window[4 * j + 2];
      e.outer_darkest = kept_window[4 * j + 3];
      extremes[j] = pack(local_levels(kept_level[j], e, relative_of));
    }
  }

  std::int32_t width_, height_;
  bool keep_;
  std::int32_t block_;       // pixels a side
  std::int32_t offset_ = 0;  // rows of the first block that lie beyond the image (rows from the bottom up)
  std::int32_t block_columns_, block_rows_;
  std::int32_t wide_;  // the wider view's radius in blocks
  std::int32_t ring_rows_;
  std::size_t words_;
  ZeroedBuffer<std::uint16_t> brightest_, dilated_, closed_;
  std::array<ZeroedBuffer<std::uint16_t>, 4> wide_steps_;   // the wider view's closing, step by step
  std::array<std::int32_t, 4> wide_rows_{};                 // block rows done of each step
  std::array<ZeroedBuffer<std::uint16_t>, 2> close_steps_;  // the closing's maximum and minimum along the rows
  std::array<std::int32_t, 2> close_rows_{};                // block rows done of each
  ZeroedBuffer<float> paper_, column_weight_;
  std::vector<std::uint16_t> padded_row_;  // a block row with its edge blocks repeated
  ZeroedBuffer<std::int32_t> column_start_, ring_row_, row_of_;
  bool columns_laid_out_ = false;
  ZeroedBuffer<std::uint8_t> ring_;
  Lane lane_;                                // the rows in order
  std::optional<Lane> ahead_;                // the last rows, when a helper classified them
  ZeroedBuffer<std::uint64_t> sure_, zone_;  // sure_ takes the decided ink in finish()
  std::int32_t arrived_ = 0, measured_rows_ = 0, dilated_rows_ = 0, closed_rows_ = 0, paper_rows_ = 0, classified_ = 0;
  std::int32_t zone_top_ = 256;  // relative levels from here up are paper whatever the threshold
  Histogram histogram_{};
  std::uint64_t counted_ = 0, ink_count_ = 0;
};

// Ink where the grey level is below `threshold`.
bool below(std::span<const std::uint8_t> grey, std::int32_t threshold, std::vector<std::uint64_t>& ink) {
  std::fill(ink.begin(), ink.end(), std::uint64_t{0});
  for (std::size_t x = 0; x < grey.size(); ++x)
    if (grey[x] < threshold) ink[x / 64] |= std::uint64_t{1} << (x % 64);
  return true;
}

// Levels of the histogram in use, up to kFewGreyLevels + 1.
std::int32_t levels_in(const Histogram& histogram) {
  const auto used = std::count_if(histogram.begin(), histogram.end(), [](std::uint64_t n) { return n != 0; });
  return static_cast<std::int32_t>(std::min<std::ptrdiff_t>(used, kFewGreyLevels + 1));
}

std::string lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::optional<ThresholdMode> parse_threshold_mode(std::string_view text) {
  const std::string name = lower(text);
  if (name == "nearest-black") return ThresholdMode{ThresholdRule::NearestBlack};
  if (name == "auto") return ThresholdMode{ThresholdRule::Auto};
  if (name == "otsu") return ThresholdMode{ThresholdRule::Otsu};
  if (name == "adaptive") return ThresholdMode{ThresholdRule::Adaptive};
  std::int32_t level = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), level);
  if (name.empty() || error != std::errc() || end != name.data() + name.size() || level < 1 || level > 255)
    return std::nullopt;
  return ThresholdMode{ThresholdRule::Level, level};
}

std::string threshold_mode_text(const ThresholdMode& mode) {
  switch (mode.rule) {
    case ThresholdRule::ByFormat:
      return "by format";
    case ThresholdRule::NearestBlack:
      return "nearest-black";
    case ThresholdRule::Auto:
      return "auto";
    case ThresholdRule::Otsu:
      return "otsu";
    case ThresholdRule::Adaptive:
      return "adaptive";
    case ThresholdRule::Level:
      break;
  }
  return std::to_string(mode.level);
}

bool rule_counts_grey_levels(const ThresholdMode& chosen, const ImageInfo& info, bool has_grey_levels) {
  // A PDF page's embedded image is read as the same image would be as a file.
  return has_grey_levels && chosen.rule == ThresholdRule::ByFormat &&
         (info.format == "PNG" || info.format == "TIFF" || (info.format == "PDF" && !info.blurred_grey));
}

ThresholdMode mode_for_image(const ThresholdMode& chosen, const ImageInfo& info, bool has_grey_levels,
                             std::int32_t grey_levels) {
  if (!has_grey_levels) return {ThresholdRule::NearestBlack};
  if (chosen.rule != ThresholdRule::ByFormat) return chosen;
  // JPEG and a rendered PDF page are blurred grey by nature.
  if (info.format == "JPEG" || info.blurred_grey) return {ThresholdRule::Auto};
  if (rule_counts_grey_levels(chosen, info, has_grey_levels) && grey_levels > kFewGreyLevels)
    return {ThresholdRule::Auto};
  return {ThresholdRule::NearestBlack};
}

std::int32_t otsu_threshold(const Histogram& h) {
  double total = 0, weighted = 0;
  for (std::size_t v = 0; v < 256; ++v) {
    total += static_cast<double>(h[v]);
    weighted += static_cast<double>(v) * static_cast<double>(h[v]);
  }
  double below_count = 0, below_sum = 0, best = -1;
  std::int32_t threshold = 0;
  for (std::int32_t t = 1; t < 256; ++t) {
    below_count += static_cast<double>(h[static_cast<std::size_t>(t - 1)]);
    below_sum += (t - 1) * static_cast<double>(h[static_cast<std::size_t>(t - 1)]);
    const double above_count = total - below_count;
    if (below_count == 0 || above_count == 0) continue;
    const double difference = below_sum / below_count - (weighted - below_sum) / above_count;
    const double between = below_count * above_count * difference * difference;
    if (between > best) {
      best = between;
      threshold = t;
    }
  }
  return threshold;
}

// One rule's state as rows arrive. Otsu's threshold needs every level before the
// first ink row: the rows are kept while they fit kKeptOtsuBytes, else the image
// is read again once the histogram is known.
struct ThresholdRows::Impl {
  Impl(const ThresholdMode& mode, std::int32_t width, std::int32_t height, const InkRowSink& ink, double dpi)
      : mode(mode), width(width), height(height), ink(ink), row(words_of(width)) {
    switch (mode.rule) {
      case ThresholdRule::Auto:
        automatic.emplace(width, height, true, dpi);
        break;
      case ThresholdRule::Adaptive:
        band.emplace(width, height,
                     [this](std::int32_t, std::int32_t r, const std::uint8_t* grey, const std::uint64_t* sums,
                            const std::uint64_t* squares, std::int32_t rows) {
                       std::fill(row.begin(), row.end(), std::uint64_t{0});
                       for (std::int32_t x = 0; x < this->width; ++x) {
                         if (grey[x] < sauvola_at(x, this->width, sums, squares, rows))
                           row[static_cast<std::size_t>(x / 64)] |= std::uint64_t{1} << (x % 64);
                       }
                       return this->ink(r, row);
                     });
        break;
      case ThresholdRule::Otsu:
        if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= kKeptOtsuBytes) {
          kept = ZeroedBuffer<std::uint8_t>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
          order.reserve(static_cast<std::size_t>(height));
        }
        break;
      default:
        outcome.threshold = mode.level;
        break;
    }
  }

  bool add(std::int32_t r, std::span<const std::uint8_t> grey) {
    switch (mode.rule) {
      case ThresholdRule::Auto:
        automatic->add_row(r, grey);
        return true;
      case ThresholdRule::Adaptive:
        return !(outcome.stopped = !band->add_row(r, grey.data()));
      case ThresholdRule::Otsu:
        for (std::uint8_t v : grey) ++histogram[v];
        if (kept.size() != 0) {
          std::copy(grey.begin(), grey.end(),
                    kept.data() + static_cast<std::size_t>(r) * static_cast<std::size_t>(width));
          order.push_back(r);
        }
        return true;
      default:
        below(grey, outcome.threshold, row);
        return !(outcome.stopped = !ink(r, row));
    }
  }

  ThresholdOutcome finish(ImageStatus status, const GreySource& again) {
    outcome.status = status;
    if (status != ImageStatus::Ok || outcome.stopped) return outcome;
    if (mode.rule == ThresholdRule::Auto) {
      if (!automatic->complete()) {  // the reading was stopped
        outcome.stopped = true;
        return outcome;
      }
      outcome.threshold = automatic->finish(&ink, outcome.stopped);
    } else if (mode.rule == ThresholdRule::Otsu) {
      outcome.threshold = otsu_threshold(histogram);
      const auto apply = [&](std::int32_t r, std::span<const std::uint8_t> grey) {
        below(grey, outcome.threshold, row);
        return !(outcome.stopped = !ink(r, row));
      };
      if (kept.size() == 0) {
        outcome.status = again(apply);
      } else {
        for (const std::int32_t r : order) {
          const std::size_t at = static_cast<std::size_t>(r) * static_cast<std::size_t>(width);
          if (!apply(r, std::span<const std::uint8_t>(kept.data() + at, static_cast<std::size_t>(width)))) break;
        }
      }
    }
    return outcome;
  }

  ThresholdMode mode;
  std::int32_t width, height;
  const InkRowSink& ink;
  std::vector<std::uint64_t> row;
  std::optional<AutoThreshold> automatic;
  std::optional<WindowBand> band;
  Histogram histogram{};
  ZeroedBuffer<std::uint8_t> kept;  // otsu: the rows as they came, when they fit
  std::vector<std::int32_t> order;  // and the order they came in
  ThresholdOutcome outcome;
};

ThresholdRows::ThresholdRows(const ThresholdMode& mode, std::int32_t width, std::int32_t height, const InkRowSink& ink,
                             double dpi)
    : impl_(std::make_unique<Impl>(mode, width, height, ink, dpi)) {}
ThresholdRows::~ThresholdRows() = default;

bool ThresholdRows::add_row(std::int32_t row_from_top, std::span<const std::uint8_t> grey) {
  return impl_->add(row_from_top, grey);
}

ThresholdOutcome ThresholdRows::finish(ImageStatus status, const GreySource& again) {
  return impl_->finish(status, again);
}

bool reads_twice(const ThresholdMode& mode, std::int32_t width, std::int32_t height) {
  return mode.rule == ThresholdRule::Otsu &&
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kKeptOtsuBytes;
}

ThresholdOutcome apply_threshold(const ThresholdMode& mode, std::int32_t width, std::int32_t height,
                                 const GreySource& source, const InkRowSink& ink, double dpi) {
  ThresholdRows rows(mode, width, height, ink, dpi);
  const ImageStatus status =
      source([&](std::int32_t r, std::span<const std::uint8_t> grey) { return rows.add_row(r, grey); });
  return rows.finish(status, source);
}

GreySummary summarise_grey(std::int32_t width, std::int32_t height, const GreySource& source, ImageStatus& status,
                           double dpi) {
  GreySummary summary;
  AutoThreshold rule(width, height, false, dpi);
  std::int32_t rows_seen = 0;
  status = source([&](std::int32_t r, std::span<const std::uint8_t> grey) {
    for (std::uint8_t v : grey) ++summary.levels[v];
    // The histogram so far holds the first rows' levels, counted as the rule by format counts them.
    if (++rows_seen == std::min(kLevelRows, height)) summary.first_rows_levels = levels_in(summary.levels);
    rule.add_row(r, grey);
    return true;
  });
  if (status != ImageStatus::Ok || !rule.complete()) return summary;
  bool stopped = false;
  summary.auto_threshold = rule.finish(nullptr, stopped);
  summary.auto_ink =
      rule.pixel_count() > 0 ? static_cast<double>(rule.ink_count()) / static_cast<double>(rule.pixel_count()) : 0;
  std::uint64_t total = 0;
  summary.darkest = -1;
  for (std::int32_t v = 0; v < 256; ++v) {
    const std::uint64_t n = summary.levels[static_cast<std::size_t>(v)];
    if (n == 0) continue;
    ++summary.levels_used;
    if (summary.darkest < 0) summary.darkest = v;
    summary.lightest = v;
    total += n;
  }
  summary.darkest = std::max(summary.darkest, 0);
  summary.median = percentile(summary.levels, total, 0.5);
  summary.otsu = otsu_threshold(summary.levels);
  return summary;
}

std::int32_t count_grey_levels(const GreySource& source, std::int32_t limit, ImageStatus& status, std::int32_t rows) {
  std::array<bool, 256> seen{};
  std::int32_t count = 0;
  std::int32_t rows_seen = 0;
  status = source([&](std::int32_t, std::span<const std::uint8_t> grey) {
    for (std::uint8_t v : grey) {
      if (!seen[v]) {
        seen[v] = true;
        if (++count >= limit) return false;
      }
    }
    return ++rows_seen < rows;
  });
  return count;
}

std::int32_t first_rows_grey_levels(ImageReader& reader) {
  ImageStatus status = ImageStatus::Ok;
  const std::int32_t levels = count_grey_levels([&](const GreyRowSink& sink) { return reader.read_grey_rows(sink); },
                                                kFewGreyLevels + 1, status, kLevelRows);
  return status == ImageStatus::Ok ? levels : 0;
}

}  // namespace vp::scan
