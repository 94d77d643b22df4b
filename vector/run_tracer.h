// Run tracing: reads straight runs of ink off the thinned grid into LineData.
//
// Six members, run in this order: RV_X (rows, bottom to top), RV_Y (columns, left
// to right), then the rising diagonals starting on the bottom row (RV_NX1), the
// falling ones starting on the top row (RV_NX2), the rising ones starting on the
// left column (RV_NY1) and the falling ones starting on the left column (RV_NY2).
// The two corner diagonals belong to two members each and their runs are recorded
// twice. Records come out in exactly that order, each member's lines in order and
// each line's runs in scan order; the first cell of a record is where its run
// begins, so x1 <= x2.
//
// A horizontal or vertical run also ends at a cell whose five cells ahead and to
// the sides are all ink: inside a solid area only the outline yields segments.
//
// The grid must hold codes 0 and 1 only (after the thinning's BlueToBlack).
#pragma once

#include <cstdint>

#include "raster/phase_meter.h"
#include "raster/pixel_grid.h"
#include "vector/line_data.h"

namespace vp {

// The phase's total: 3 × (GridWidth − 2) + 3 × (GridHeight − 2) lines.
std::int64_t tracing_work_total(std::int32_t grid_width, std::int32_t grid_height);

// Appends the runs to `lines`, the six members in order, reporting Phase::Trace
// once per line; each member runs only while the phase has not been stopped. A
// record that cannot be stored ends the phase as out of memory.
PhaseStatus run_tracing(const PixelGrid& grid, LineData& lines, Progress& progress);

}  // namespace vp
