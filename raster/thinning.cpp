#include "raster/thinning.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "raster/bit_rows.h"
#include "raster/thinning_rows.h"
#include "raster/thinning_sweep.h"
#include "raster/thread_start.h"

namespace vp {
namespace {

using bits::Word;
using thinning_rows::bevel_x_row;
using thinning_rows::bevel_y_row;
using thinning_rows::Originals;
using thinning_rows::set_ok_row;
using thinning_rows::Side;

enum class PlaneKind { Ink, Protected };

Word* plane_row(PixelGrid& grid, PlaneKind plane, std::int32_t y) {
  return plane == PlaneKind::Ink ? grid.ink_row(y) : grid.protected_row(y);
}

// A step's scan, split into up to two bands of rows run on two threads. Every row
// kernel sees, through Originals, its neighbouring rows of the plane the step
// rewrites as they were before the step: inside a band the rows below are kept in
// a rolling copy; the rows on either side of the split are copied before the bands start.
class StepScan {
 public:
  StepScan(PixelGrid& grid, ThinningOptions& split, PlaneKind plane, bool needs_originals)
      : grid_(grid), split_(split), plane_(plane), needs_originals_(needs_originals), words_(grid.words_per_row()) {}

  // Runs kernel(y, originals) over rows [first, last], spreading the step's `units`
  // lines over the rows done; stops once the meter says so after a line.
  template <class Kernel>
  void run(std::int32_t first, std::int32_t last, std::int64_t units, PhaseMeter& meter, const Kernel& kernel) {
    const std::int64_t rows = std::max<std::int64_t>(std::int64_t{last} - first + 1, 0);
    std::int32_t split = last;  // the first band's last row
    if (split_.threads > 1 && rows >= 2 * split_.min_rows_per_band)
      split = static_cast<std::int32_t>(first + rows / 2 - 1);
    std::vector<Word> split_below, split_above;  // rows split and split + 1, as they were
    if (split < last && needs_originals_) {
      split_below.assign(plane_row(grid_, plane_, split), plane_row(grid_, plane_, split) + words_);
      split_above.assign(plane_row(grid_, plane_, split + 1), plane_row(grid_, plane_, split + 1) + words_);
    }
    std::atomic<std::int64_t> rows_done{0};
    std::atomic<bool> stop{false};
    std::optional<Band> upper;
    std::thread second;
    if (split < last) {
      upper.emplace(*this, split + 1, last, split_below.data(), nullptr);
      second = try_start_thread([&] { upper->run(kernel, rows_done, stop, [] { return true; }); });
      // No thread to be had: this one does the upper band after the lower, for
      // this step and, with the split gone, every later one of the run.
      if (!second.joinable()) split_.threads = 1;
    }
    std::int64_t units_done = 0;
    auto report = [&] {
      const std::int64_t target = rows == 0 ? units : units * rows_done.load() / rows;
      if (target <= units_done) return true;
      const std::int64_t count = target - units_done;
      units_done = target;
      return meter.units_done(count);  // one call for the chunk's units, however many
    };
    Band band(*this, first, split, nullptr, split < last ? split_above.data() : nullptr);
    const bool finished = band.run(kernel, rows_done, stop, report);
    if (!finished) stop = true;
    if (second.joinable()) {
      second.join();
    } else if (upper && finished) {
      upper->run(kernel, rows_done, stop, [] { return true; });
    }
    if (finished) report();
  }

 private:
  // Rows [first, last] processed in order by one thread.
  class Band {
   public:
    Band(StepScan& scan, std::int32_t first, std::int32_t last, const Word* below_first, const Word* above_last)
        : scan_(&scan), first_(first), last_(last), above_last_(above_last) {
      if (scan.needs_originals_) {
        const Word* below = below_first != nullptr ? below_first : plane_row(scan.grid_, scan.plane_, first - 1);
        previous_.assign(below, below + scan.words_);
        current_.resize(scan.words_);
      }
    }

    // Returns false when `after_chunk` asked to stop.
    template <class Kernel, class AfterChunk>
    bool run(const Kernel& kernel, std::atomic<std::int64_t>& rows_done, std::atomic<bool>& stop,
             const AfterChunk& after_chunk) {
      constexpr std::int32_t kChunk = 16;
      PixelGrid& grid = scan_->grid_;
      for (std::int32_t y = first_; y <= last_; ++y) {
        if (scan_->needs_originals_) {
          const Word* row = plane_row(grid, scan_->plane_, y);
          std::copy(row, row + scan_->words_, current_.begin());
          const Word* above =
              y == last_ && above_last_ != nullptr ? above_last_ : plane_row(grid, scan_->plane_, y + 1);
          kernel(y, Originals{previous_.data(), current_.data(), above});
          previous_.swap(current_);
        } else {
          kernel(y, Originals{});
        }
        if ((y - first_ + 1) % kChunk == 0 || y == last_) {
          rows_done += (y - first_) % kChunk + 1;
          if (stop.load(std::memory_order_relaxed) || !after_chunk()) return false;
        }
      }
      return true;
    }

   private:
    StepScan* scan_;
    std::int32_t first_, last_;
    const Word* above_last_;
    std::vector<Word> previous_, current_;
  };

  PixelGrid& grid_;
  ThinningOptions& split_;
  PlaneKind plane_;
  bool needs_originals_;
  std::size_t words_;
};

}  // namespace

int default_thinning_threads() {
  return std::min(2, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

// The marking and protecting steps look at rows 1 .. height-2; the others are
// border. Each step counts the lines of its scan of the grid; on its side it
// runs over the stored rows, a step along the grid's rows being one along the
// stored columns and the other way round.
void SetOKdata(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  const bool side = grid.on_its_side();
  StepScan(grid, split, PlaneKind::Protected, true)
      .run(1, grid.stored_height() - 2, grid.width() - 1, meter, [&](std::int32_t y, const Originals& prot) {
        if (side)
          set_ok_row<GridLayout::OnItsSide>(grid, y, prot);
        else
          set_ok_row<GridLayout::Upright>(grid, y, prot);
      });
}

namespace {

// The ends of runs along the stored rows.
template <Side side>
void bevel_stored_rows(PixelGrid& grid, std::int32_t units, PhaseMeter& meter, ThinningOptions& split) {
  StepScan(grid, split, PlaneKind::Ink, false)
      .run(1, grid.stored_height() - 2, units, meter,
           [&](std::int32_t y, const Originals&) { bevel_x_row<side>(grid, y); });
}

// The ends of runs along the stored columns.
template <Side side>
void bevel_stored_columns(PixelGrid& grid, std::int32_t units, PhaseMeter& meter, ThinningOptions& split) {
  StepScan(grid, split, PlaneKind::Ink, true)
      .run(1, grid.stored_height() - 2, units, meter, [&](std::int32_t y, const Originals& ink) {
        // The bottom stored row keeps its lower ends (first image row or column).
        if (side == Side::Second || y >= 2) bevel_y_row<side>(grid, y, ink);
      });
}

}  // namespace

void SetBevelX1(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  if (grid.on_its_side())
    bevel_stored_columns<Side::First>(grid, grid.height() - 1, meter, split);
  else
    bevel_stored_rows<Side::First>(grid, grid.height() - 1, meter, split);
}

void SetBevelX2(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  if (grid.on_its_side())
    bevel_stored_columns<Side::Second>(grid, grid.height() - 1, meter, split);
  else
    bevel_stored_rows<Side::Second>(grid, grid.height() - 1, meter, split);
}

void SetBevelY1(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  if (grid.on_its_side())
    bevel_stored_rows<Side::First>(grid, grid.width() - 1, meter, split);
  else
    bevel_stored_columns<Side::First>(grid, grid.width() - 1, meter, split);
}

void SetBevelY2(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  if (grid.on_its_side())
    bevel_stored_rows<Side::Second>(grid, grid.width() - 1, meter, split);
  else
    bevel_stored_columns<Side::Second>(grid, grid.width() - 1, meter, split);
}

void ClearBevel(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  // The marking steps have cleared their cells already; the scan's lines are still counted.
  StepScan(grid, split, PlaneKind::Ink, false)
      .run(0, grid.stored_height() - 1, grid.height(), meter, [](std::int32_t, const Originals&) {});
}

void BlueToBlack(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& split) {
  const std::size_t n = grid.words_per_row();
  StepScan(grid, split, PlaneKind::Protected, false)
      .run(0, grid.stored_height() - 1, grid.height(), meter, [&](std::int32_t y, const Originals&) {
        Word* row = grid.protected_row(y);
        for (std::size_t k = 0; k < n; ++k)
          if (row[k] != 0) row[k] = 0;  // untouched pages stay uncommitted
      });
  // The plane is blank now; what the passes committed of it goes back to the system.
  if (!meter.stopped() && !grid.renew_protected_plane()) meter.out_of_memory();
}

// The sweep keeps copies of a few rows for each step of every pass: up to this much.
constexpr std::size_t kMostSweepCopyBytes = std::size_t{16} << 20;

std::int64_t thinning_work_total(std::int32_t grid_width, std::int32_t grid_height, std::int32_t pass_count) {
  const std::int64_t per_pass = 6 * std::int64_t{grid_height} + 6 * std::int64_t{grid_width} - 8;
  return std::int64_t{std::max(pass_count, 0)} * per_pass + grid_height;
}

PhaseStatus run_thinning(PixelGrid& grid, std::int32_t pass_count, Progress& progress, const ThinningOptions& options) {
  using Step = void (*)(PixelGrid&, PhaseMeter&, ThinningOptions&);
  static constexpr Step kPass[] = {SetOKdata, SetBevelX1, ClearBevel, SetOKdata, SetBevelX2, ClearBevel,
                                   SetOKdata, SetBevelY1, ClearBevel, SetOKdata, SetBevelY2, ClearBevel};
  ThinningOptions split{std::max(1, options.threads), std::max(1, options.min_rows_per_band)};
  PhaseMeter meter(progress, Phase::Thin, thinning_work_total(grid.width(), grid.height(), pass_count));
  if (sweep_copy_bytes(grid.words_per_row(), pass_count) <= kMostSweepCopyBytes) {
    const std::int64_t rows = std::int64_t{grid.stored_height()} - 2;
    const int threads = split.threads > 1 && rows >= 2 * std::int64_t{split.min_rows_per_band} ? 2 : 1;
    if (!run_passes_as_sweep(grid, pass_count, meter, threads)) split.threads = 1;
  } else {
    // Rows so wide that a sweep's copies of them would cost more than the grid saves:
    // step after step over the whole grid.
    for (std::int32_t pass = 0; pass < pass_count; ++pass) {
      for (Step step : kPass) {
        if (!meter.stopped()) step(grid, meter, split);
      }
      if (meter.stopped()) break;
    }
  }
  if (!meter.stopped()) BlueToBlack(grid, meter, split);
  return meter.status();
}

}  // namespace vp
