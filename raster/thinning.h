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
// Each step calls control.unit_done() once per line of its documented scan and
// returns as soon as control.stopped() after a line.
#pragma once

#include <cstdint>

#include "raster/phase_control.h"
#include "raster/pixel_grid.h"

namespace vp {

void SetOKdata(PixelGrid& grid, PhaseControl& control);
void SetBevelX1(PixelGrid& grid, PhaseControl& control);
void SetBevelX2(PixelGrid& grid, PhaseControl& control);
void SetBevelY1(PixelGrid& grid, PhaseControl& control);
void SetBevelY2(PixelGrid& grid, PhaseControl& control);
void ClearBevel(PixelGrid& grid, PhaseControl& control);
void BlueToBlack(PixelGrid& grid, PhaseControl& control);

// Lines scanned by `pass_count` passes and the closing BlueToBlack: the thinning
// phase's WorkTotal. 64-bit, since 100 passes over a large grid exceed 2^31.
std::int64_t thinning_work_total(std::int32_t grid_width, std::int32_t grid_height, std::int32_t pass_count);

// How the steps share the work: rows are split into `threads` bands (at most two
// are used) when every band gets at least `min_rows_per_band` rows. The result
// does not depend on it.
void set_thinning_parallelism(int threads, std::int32_t min_rows_per_band);

// `pass_count` passes of twelve steps, then BlueToBlack; every step runs only while
// control.stopped() is false.
void run_thinning(PixelGrid& grid, std::int32_t pass_count, PhaseControl& control);

}  // namespace vp
