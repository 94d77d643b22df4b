#include "raster/thinning.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "raster/bit_rows.h"
#include "raster/thread_start.h"

namespace vp {
namespace {

using bits::left2_of;
using bits::left_of;
using bits::right2_of;
using bits::right_of;
using bits::Word;

// The rows of the rewritten plane next to row y, as they were before the step.
struct Originals {
  const Word* below;
  const Word* here;
  const Word* above;
};

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

// SetOKdata for one row y. The link rules (1 and 2) protect exactly the cells of
// clean diagonal links, whatever the order. The tip rule (3) at cell p depends on
// the code its single ink edge neighbour n has when the column-major scan reaches p:
//  - n above: visited later; it is already protected only if the falling link from
//    n to its upper left was found, at the earlier visit of (x-1, y+1);
//  - n to the right: visited later and untouched before p;
//  - n below or to the left: visited earlier, so by then n is protected if it had
//    any link or was itself a tip; with p's diagonals empty, that is exactly when
//    the cell beyond n (two cells below, or two to the left) is background.
// `prot` holds rows y-1, y and y+1 of the protected plane as they were before the step.
// On its side, the step sees the stored grid and `y` is a stored row.
template <GridLayout layout>
void set_ok_row(PixelGrid& grid, std::int32_t y, const Originals& prot) {
  const Word* prot_below = prot.below;
  const Word* prot_here = prot.here;
  const std::size_t n = grid.words_per_row();
  const Word* i2d = grid.ink_row(y - 2);
  const Word* id = grid.ink_row(y - 1);
  const Word* ic = grid.ink_row(y);
  const Word* iu = grid.ink_row(y + 1);
  const Word* i2u = grid.ink_row(y + 2);
  const Word* pu = prot.above;
  Word* pc = grid.protected_row(y);
  for (std::size_t k = 0; k < n; ++k) {
    const Word c = ic[k];
    if (c == 0) continue;
    const Word up = iu[k], down = id[k];
    const Word left = left_of(ic, k), right = right_of(ic, k, n);
    const Word ul = left_of(iu, k), ur = right_of(iu, k, n);
    const Word dl = left_of(id, k), dr = right_of(id, k, n);
    const Word link = c & ((ur & ~right & ~up) | (dl & ~left & ~down) | (dr & ~right & ~down) | (ul & ~left & ~up));
    Word tip = c & ~prot_here[k] & ~(ul | ur | dl | dr);
    if (tip != 0) {
      const Word only_up = up & ~down & ~left & ~right;
      const Word only_down = down & ~up & ~left & ~right;
      const Word only_left = left & ~up & ~down & ~right;
      const Word only_right = right & ~up & ~down & ~left;
      const Word plain_up = up & ~pu[k];
      const Word plain_down = down & ~prot_below[k];
      const Word plain_left = left & ~left_of(prot_here, k);
      const Word plain_right = right & ~right_of(prot_here, k, n);
      if constexpr (layout == GridLayout::Upright) {
        const Word up_linked_up_left = left_of(i2u, k) & ~i2u[k];
        tip &= (only_up & plain_up & ~up_linked_up_left) | (only_down & plain_down & i2d[k]) |
               (only_left & plain_left & left2_of(ic, k)) | (only_right & plain_right);
      } else {
        // The same rule on the stored grid, the grid's rows being its columns:
        // the grid's up, down, left and right are stored right, left, down and up.
        const Word right_linked_right_down = right2_of(id, k, n) & ~right2_of(ic, k, n);
        tip &= (only_right & plain_right & ~right_linked_right_down) | (only_left & plain_left & left2_of(ic, k)) |
               (only_down & plain_down & i2d[k]) | (only_up & plain_up);
      }
    }
    // Written only where something is protected: a plane's untouched pages stay uncommitted.
    if (const Word found = link | tip; found != 0) pc[k] |= found;
  }
}

enum class Side { First, Second };

// SetBevelX1 (left ends) and SetBevelX2 (right ends) of row y, marked and cleared
// together; the mark depends only on the row as it was.
template <Side side>
void bevel_x_row(PixelGrid& grid, std::int32_t y) {
  const std::size_t n = grid.words_per_row();
  Word* ic = grid.ink_row(y);
  const Word* pc = grid.protected_row(y);
  Word before = 0, before_plain = 0;  // original word k - 1
  for (std::size_t k = 0; k < n; ++k) {
    const Word c = ic[k];
    const Word plain = c & ~pc[k];
    if (plain != 0) {
      Word mark;
      if constexpr (side == Side::First) {
        const Word left = (c << 1) | (before >> 63);
        const Word next_plain = k + 1 < n ? ic[k + 1] & ~pc[k + 1] : 0;
        const Word right_plain = (plain >> 1) | (next_plain << 63);
        mark = ~left & plain & right_plain;
        if (k == 0) mark &= ~Word{2};  // a run starting in the first image column keeps its end
      } else {
        const Word left_plain = (plain << 1) | (before_plain >> 63);
        const Word right = right_of(ic, k, n);
        mark = left_plain & plain & ~right;
      }
      ic[k] = c & ~mark;
    }
    before = c;
    before_plain = plain;
  }
}

// SetBevelY1 (lower ends) and SetBevelY2 (upper ends) of row y; `ink` holds the
// rows of ink next to it as they were before the step.
template <Side side>
void bevel_y_row(PixelGrid& grid, std::int32_t y, const Originals& ink) {
  const std::size_t n = grid.words_per_row();
  Word* ic = grid.ink_row(y);
  const Word* pc = grid.protected_row(y);
  const Word* ink_below = ink.below;
  const Word* iu = ink.above;
  const Word* pu = grid.protected_row(y + 1);
  const Word* pd = grid.protected_row(y - 1);
  for (std::size_t k = 0; k < n; ++k) {
    const Word plain = ic[k] & ~pc[k];
    if (plain == 0) continue;
    Word mark;
    if constexpr (side == Side::First) {
      mark = ~ink_below[k] & plain & (iu[k] & ~pu[k]);
    } else {
      mark = (ink_below[k] & ~pd[k]) & plain & ~iu[k];
    }
    ic[k] &= ~mark;
  }
}

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
  for (std::int32_t pass = 0; pass < pass_count; ++pass) {
    for (Step step : kPass) {
      if (!meter.stopped()) step(grid, meter, split);
    }
    if (meter.stopped()) break;
  }
  if (!meter.stopped()) BlueToBlack(grid, meter, split);
  return meter.status();
}

}  // namespace vp
