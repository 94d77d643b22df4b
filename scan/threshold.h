// Turning the grey levels of a scan into ink: the threshold rules of the scan
// clean-up, applied to rows as a reader delivers them (GreyRowSink) and handed
// on as ink rows (InkRowSink), with no more than a band of grey rows held.
//
//   nearest-black  the reader's own rule (read_rows): the one value nearest to black
//   auto           the paper's brightness is estimated (below) and every pixel is
//                  taken relative to it; one threshold for the whole sheet then lies
//                  halfway between the paper and the ink on those relative levels (the
//                  ink told from the paper by Otsu's split), kept clear of the paper's
//                  noise; pixels between sure ink and sure paper get a second, local
//                  look (below)
//   otsu           one threshold for the whole sheet on the grey levels as they are
//   adaptive       Sauvola's local threshold over a 31 x 31 window
//   1 .. 255       darker than this grey level is ink
//
// The paper's brightness under `auto`: the brightest pixels (two-pixel means, so
// that single noisy pixels do not count) of every block, closed over 13
// blocks (a dilation then an erosion: dark areas narrower than that, such as
// filled areas and thick walls, take the paper around them, while light that
// falls off across the sheet is followed), smoothed over 3 x 3 blocks and
// interpolated between block centres. A block is 2 mm of the sheet when its
// resolution is known (32 pixels at 400 dpi), else 32 pixels, and at most a
// 26th of the shorter side, so that the closing's reach stays local on small
// sheets. Where a block's whole neighbourhood is dark (a filled area wider than
// the closing), a closing over up to 49 blocks, at most the shorter side, takes
// its place. The paper's level and noise come from the upper quartile and the
// 90th percentile of the relative levels, which the edges of dense text do not reach.
//
// The local look under `auto` (scan/local_contrast.h): stains, the shadow of a
// book's spine, a fold and the back page showing through are wider, softer or
// fainter than the paper model follows, so a pixel whose relative level lies
// between sure ink (halfway from the ink to the threshold) and the paper's
// noise is judged by its window (about a quarter block either side, 8 pixels
// at 400 dpi, kept as extremes of two-pixel sums along a band of rows). It is
// ink only where the window holds a stroke: deep enough (at least 0.38 of the
// ink's depth below the window's brightest, and six deviations of the paper's
// noise), narrow (the paper comes most of the way back within about half the
// window) and the pixel on the dark side of halfway between the window's
// brightest and darkest, and below the sheet's threshold. A faint stroke that
// the threshold would lose (its darkest lighter than sure ink, at least 0.45 of
// the ink's depth, going on beyond the inner square, which a speck does not,
// and sharp: the paper all but a tenth of the way back within it, which the
// back page's blurred text is not) may lie above it: six tenths of the way up
// to its own halfway. Pixels darker
// than sure ink stay ink, so filled areas wider than the window do.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "imageio/image_reader.h"

namespace vp::scan {

enum class ThresholdRule : std::int32_t {
  ByFormat = 0,  // what the image calls for: see mode_for_image
  NearestBlack = 1,
  Auto = 2,
  Otsu = 3,
  Adaptive = 4,
  Level = 5,
};

struct ThresholdMode {
  ThresholdRule rule = ThresholdRule::ByFormat;
  std::int32_t level = 128;  // Level: darker than this (1..255) is ink
  friend bool operator==(const ThresholdMode&, const ThresholdMode&) = default;
};

// What the clean-up is asked to do: the threshold rule and the largest speck to remove.
struct CleanupSettings {
  ThresholdMode threshold;
  std::int32_t despeckle = 0;  // 0 .. kMaxSpeck pixels (dust_removal.h)
  friend bool operator==(const CleanupSettings&, const CleanupSettings&) = default;
};

// "nearest-black", "auto", "otsu", "adaptive" or a whole number 1..255 (any letter case).
std::optional<ThresholdMode> parse_threshold_mode(std::string_view text);
// The text parse_threshold_mode takes; "by format" for ByFormat.
std::string threshold_mode_text(const ThresholdMode& mode);

// Grey levels up to which an image counts as a drawing, not a scan: a 4-bit
// image (16 levels) or a drawing of a few flat colours. A scan's paper noise
// alone uses more than that.
constexpr std::int32_t kFewGreyLevels = 16;

// The rule for an image: ByFormat becomes auto for JPEG; for PNG and TIFF, auto
// when `grey_levels` (counted up to kFewGreyLevels + 1) exceeds kFewGreyLevels;
// nearest-black otherwise, and always for BMP. Images without grey levels
// (1-bit) keep nearest-black whatever was asked.
ThresholdMode mode_for_image(const ThresholdMode& chosen, const ImageInfo& info, bool has_grey_levels,
                             std::int32_t grey_levels = 0);
// Whether mode_for_image's answer depends on the number of grey levels.
bool rule_counts_grey_levels(const ThresholdMode& chosen, const ImageInfo& info, bool has_grey_levels);
// Rows counted by first_rows_grey_levels: a scan's margin shows its paper's
// noise within them, while the reading costs a few rows of the sheet.
constexpr std::int32_t kLevelRows = 64;

// Reads the image's grey rows into the sink; may be called more than once (the
// otsu rule reads an image too large to keep twice: its histogram first).
using GreySource = std::function<ImageStatus(const GreyRowSink&)>;

struct ThresholdOutcome {
  ImageStatus status = ImageStatus::Ok;  // the source's status
  bool stopped = false;                  // the ink sink stopped the reading
  std::int32_t threshold = -1;           // the one threshold used (auto: on relative levels); -1 for adaptive
};

using Histogram = std::array<std::uint64_t, 256>;

// Otsu's rule keeps the grey rows of an image of up to this many pixels, so that
// its threshold, known only after the last row, applies without a second reading.
constexpr std::uint64_t kKeptOtsuBytes = std::uint64_t{64} << 20;
// Whether `mode` reads a `width` x `height` image twice (otsu beyond kKeptOtsuBytes).
bool reads_twice(const ThresholdMode& mode, std::int32_t width, std::int32_t height);

// `mode` (not ByFormat, not NearestBlack) applied to grey rows as they arrive:
// every ink row goes to `ink` exactly once, some as rows arrive, the rest in
// finish(). `ink` must outlive the object. Allocations may throw std::bad_alloc.
class ThresholdRows {
 public:
  ThresholdRows(const ThresholdMode& mode, std::int32_t width, std::int32_t height, const InkRowSink& ink,
                double dpi = 0);
  ~ThresholdRows();
  ThresholdRows(const ThresholdRows&) = delete;
  ThresholdRows& operator=(const ThresholdRows&) = delete;
  // False when the ink sink stopped the reading.
  bool add_row(std::int32_t row_from_top, std::span<const std::uint8_t> grey);
  // After the reading, with its status; `again` reads the image once more when
  // reads_twice says so.
  ThresholdOutcome finish(ImageStatus status, const GreySource& again);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Applies `mode` (not ByFormat, not NearestBlack) to the grey rows of a `width` x
// `height` image scanned at `dpi` (0 when the file does not say); every ink row
// goes to `ink` exactly once. Allocations may throw std::bad_alloc.
ThresholdOutcome apply_threshold(const ThresholdMode& mode, std::int32_t width, std::int32_t height,
                                 const GreySource& source, const InkRowSink& ink, double dpi = 0);

// Otsu's threshold: the level t that best splits the histogram into [0, t) and
// [t, 255] (largest between-class variance); 0 for an empty or single-level histogram.
std::int32_t otsu_threshold(const Histogram& histogram);

// What --info tells about a grey image, from one reading of it.
struct GreySummary {
  Histogram levels{};  // pixels per grey level
  std::int32_t levels_used = 0;
  std::int32_t darkest = 0;
  std::int32_t lightest = 0;
  std::int32_t median = 0;
  std::int32_t otsu = 0;            // the otsu rule's threshold
  std::int32_t auto_threshold = 0;  // the auto rule's threshold on relative levels (255 = the paper)
  double auto_ink = 0;              // the share of pixels auto takes for ink, 0..1
  // The levels of the first kLevelRows rows, up to kFewGreyLevels + 1, as
  // first_rows_grey_levels counts them for mode_for_image.
  std::int32_t first_rows_levels = 0;
};
GreySummary summarise_grey(std::int32_t width, std::int32_t height, const GreySource& source, ImageStatus& status,
                           double dpi = 0);

// Grey levels in use, counted up to `limit` over at most `rows` rows (the reading stops there).
std::int32_t count_grey_levels(const GreySource& source, std::int32_t limit, ImageStatus& status,
                               std::int32_t rows = INT32_MAX);

// The grey levels of an image's first kLevelRows rows, up to kFewGreyLevels + 1,
// for mode_for_image; 0 when they cannot be read (the conversion's own reading
// then reports the fault).
std::int32_t first_rows_grey_levels(ImageReader& reader);

}  // namespace vp::scan
