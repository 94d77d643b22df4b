// Thinning: peels one cell off the ends of horizontal and vertical runs of ink,
// one side at a time, after protecting the cells that must survive (the two cells
// of every clean diagonal link and the tips of strokes already one cell wide).
//
// The steps behave exactly as scans of the grid in their documented orders
// (columns upwards for SetOKdata, rows left to right for the X steps...), but are
// computed as word-wide stencils over rows:
//  - a marking step's outcome at a cell depends only on the grid as it was before
//    the step, so it can be evaluated in any order; the marked cells are cleared at
//    once (the following ClearBevel then only counts its lines);
//  - SetOKdata's tip rule does see earlier writes of the same scan, but only within
//    two cells, and the scan order fixes which neighbour was visited first; the
//    closed form of that dependency is spelled out in thinning.cpp.
// Each step reports once per line of its documented scan, counted over the whole
// phase, and the phase ends as soon as Progress asks it to stop after a line.
#pragma once

#include <cstdint>

#include "raster/phase_meter.h"
#include "raster/pixel_grid.h"
#include "raster/progress.h"

namespace vp {

// Lines scanned by `pass_count` passes and the closing BlueToBlack: the phase's
// total. 64-bit, since 100 passes over a large grid exceed 2^31.
std::int64_t thinning_work_total(std::int32_t grid_width, std::int32_t grid_height, std::int32_t pass_count);

// min(2, the processors there are).
int default_thinning_threads();

// How the steps share the work: rows are split into `threads` bands (at most two
// are used) when every band gets at least `min_rows_per_band` rows. The result
// does not depend on it.
struct ThinningOptions {
  int threads = default_thinning_threads();
  std::int32_t min_rows_per_band = 256;
};

// The steps, each one scan of the grid. `options` is the run's split: threads
// drops to 1 for the rest of the run once the system refuses a thread.
void SetOKdata(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);
void SetBevelX1(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);
void SetBevelX2(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);
void SetBevelY1(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);
void SetBevelY2(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);
void ClearBevel(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);
void BlueToBlack(PixelGrid& grid, PhaseMeter& meter, ThinningOptions& options);

// `pass_count` passes of twelve steps (SetOKdata, SetBevelX1, ClearBevel, SetOKdata,
// SetBevelX2, ClearBevel, SetOKdata, SetBevelY1, ClearBevel, SetOKdata, SetBevelY2,
// ClearBevel), then BlueToBlack; reports Phase::Thin per line.
PhaseStatus run_thinning(PixelGrid& grid, std::int32_t pass_count, Progress& progress,
                         const ThinningOptions& options = {});

}  // namespace vp
