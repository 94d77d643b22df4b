#include "scan/pass_advisor.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <new>
#include <vector>

#include "raster/grid_rows.h"
#include "raster/upright_grid.h"

namespace vp {
namespace {

using Word = std::uint64_t;
constexpr std::int32_t kCap = kAdvisorRunCap;

// The horizontal run through ink cell x of a row of `words` words: the ink cells
// from x leftwards and rightwards, a word at a time, counted up to the cap.
std::int32_t horizontal_run(const Word* row, std::size_t words, std::int32_t x) {
  std::int32_t right = 0;
  for (auto k = static_cast<std::size_t>(x / 64), bit = static_cast<std::size_t>(x % 64);; bit = 0, ++k) {
    const int ones = std::countr_one(row[k] >> bit);  // the shift brings in zeros from the top
    right += ones;
    if (static_cast<std::size_t>(ones) < 64 - bit || right >= kCap || k + 1 == words) break;
  }
  std::int32_t left = 0;
  for (auto k = static_cast<std::size_t>(x / 64), bit = static_cast<std::size_t>(x % 64);; bit = 63, --k) {
    const int ones = std::countl_one(row[k] << (63 - bit));  // and this one from the bottom
    left += ones;
    if (static_cast<std::size_t>(ones) < bit + 1 || left >= kCap || k == 0) break;
  }
  return std::min(left + right - 1, kCap);
}

// The width of a straight stroke that crosses a row in h cells and a column in v.
double stroke_width(std::int32_t h, std::int32_t v) {
  const double dh = h, dv = v;
  return dh * dv / std::sqrt(dh * dh + dv * dv);
}

}  // namespace

StrokeThickness measure_stroke_thickness(const PixelGrid& grid) {
  StrokeThickness result;
  const std::int32_t width = grid.width();
  const std::int32_t height = grid.height();
  if (width < 3 || height < 3) return result;
  const std::int64_t cells = std::int64_t{width - 2} * (height - 2);
  const auto step =
      static_cast<std::int32_t>(std::max<std::int64_t>(1, (cells + kAdvisorSampleCells - 1) / kAdvisorSampleCells));
  result.row_step = step;
  GridRows rows(grid);
  std::vector<std::uint64_t> histogram(static_cast<std::size_t>(kCap) * kAdvisorBinsPerCell + 1, 0);

  // The measured cells of a vertical run once it is known whole: those on the
  // sampled rows 1, 1 + step, 1 + 2 step...
  auto measure_run = [&](std::int32_t x, std::int32_t first, std::int32_t last) {
    const std::int32_t v = std::min(last - first + 1, kCap);
    for (std::int32_t y = first + ((1 - first) % step + step) % step; y <= last; y += step) {
      const double w = stroke_width(horizontal_run(rows.ink_row(y), rows.words(), x), v);
      ++histogram[std::min(static_cast<std::size_t>(std::lround(w * kAdvisorBinsPerCell)), histogram.size() - 1)];
      ++result.measured;
    }
  };
  // Vertical runs, 64 columns at a time: a run starts where a cell is ink and
  // the one below is not, and ends where the one above is not. The border rows
  // are background, so every run has ended by the top row.
  std::array<std::int32_t, 64> run_start{};
  for (std::size_t k = 0; k < rows.words(); ++k) {
    Word below = 0;
    for (std::int32_t y = 0; y < height; ++y) {
      const Word here = rows.ink_row(y)[k];
      for (Word ended = below & ~here; ended != 0; ended &= ended - 1) {
        const int bit = std::countr_zero(ended);
        measure_run(static_cast<std::int32_t>(k * 64) + bit, run_start[static_cast<std::size_t>(bit)], y - 1);
      }
      for (Word started = here & ~below; started != 0; started &= started - 1) {
        run_start[static_cast<std::size_t>(std::countr_zero(started))] = y;
      }
      below = here;
    }
    for (Word open = below; open != 0; open &= open - 1) {  // only if the top border held ink
      const int bit = std::countr_zero(open);
      measure_run(static_cast<std::int32_t>(k * 64) + bit, run_start[static_cast<std::size_t>(bit)], height - 1);
    }
  }
  if (result.measured == 0) return result;
  // The median: the bin that holds the middle cell (the lower middle for an even count).
  const std::int64_t middle = (result.measured + 1) / 2;
  std::int64_t seen = 0;
  for (std::size_t bin = 0; bin < histogram.size(); ++bin) {
    seen += static_cast<std::int64_t>(histogram[bin]);
    if (seen >= middle) {
      result.typical = static_cast<double>(bin) / kAdvisorBinsPerCell;
      break;
    }
  }
  return result;
}

std::int32_t passes_for_width(double width) {
  if (!(width > 0)) return 1;  // no ink (or nonsense): the smallest count
  const double whole = std::floor(width + 0.5);
  if (whole >= 200) return 100;
  return std::clamp(static_cast<std::int32_t>(whole) / 2, 1, 100);
}

PassAdvice advise_passes(const PixelGrid& grid) {
  PassAdvice advice;
  advice.thickness = measure_stroke_thickness(grid);
  advice.passes = passes_for_width(advice.thickness.typical);
  return advice;
}

AdvisorFileResult advise_passes_for_file(const std::string& path, const ImageReaderFactory& readers) {
  AdvisorFileResult result;
  try {
    const std::unique_ptr<ImageReader> reader = readers ? readers(path) : nullptr;
    const ImageStatus opened = reader ? reader->open(path) : ImageStatus::Unreadable;
    if (opened != ImageStatus::Ok) {
      result.outcome = opened == ImageStatus::Unsupported ? AdvisorLoad::Unsupported : AdvisorLoad::Unreadable;
      return result;
    }
    PixelGrid grid;
    const ImageInfo& info = reader->info();
    if (!grid.reset(info.width, info.height, grid_layout_for(info.orientation, info.width, info.height))) {
      result.outcome = AdvisorLoad::OutOfMemory;
      return result;
    }
    const ImageStatus read = reader->read_rows(upright_rows(
        info.orientation, info.width, info.height, [&](std::int32_t row_from_top, std::span<const std::uint64_t> ink) {
          grid.set_image_row(row_from_top, ink);
          return true;
        }));
    if (read != ImageStatus::Ok) {
      result.outcome = AdvisorLoad::Unreadable;
      return result;
    }
    if (!finish_upright(grid, info.orientation)) {
      result.outcome = AdvisorLoad::OutOfMemory;
      return result;
    }
    result.advice = advise_passes(grid);
    result.outcome = AdvisorLoad::Ok;
  } catch (const std::bad_alloc&) {
    result.outcome = AdvisorLoad::OutOfMemory;
  }
  return result;
}

}  // namespace vp
