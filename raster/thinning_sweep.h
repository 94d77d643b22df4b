// The thinning's passes as one sweep up the grid. Step after step of every pass
// runs row by row, each a few rows behind the step before it: a step's outcome at
// a row depends only on rows within two of it as the earlier steps left them, so
// the sweep gives exactly what the steps give one whole scan after another, while
// the rows it works on stay in the cache instead of crossing memory eight times a
// pass. With two threads, the second takes the later half of the steps and
// follows the first up the grid.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/phase_meter.h"
#include "raster/pixel_grid.h"

namespace vp {

// The bytes of row copies a sweep of `pass_count` passes keeps: two rows for
// each step that must see the rows below it as they were.
std::size_t sweep_copy_bytes(std::size_t words_per_row, std::int32_t pass_count);

// Runs `pass_count` passes (without the closing BlueToBlack) on one or two
// threads, reporting the passes' units as their rows are done. Returns false
// when no second thread could be had (the sweep then ran on this one).
bool run_passes_as_sweep(PixelGrid& grid, std::int32_t pass_count, PhaseMeter& meter, int threads);

}  // namespace vp
