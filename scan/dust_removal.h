// Removing specks: 8-connected groups of ink of at most a given number of pixels
// (dust, JPEG noise, the odd dark paper fibre) are cleared before thinning,
// which would otherwise trace each of them into a short segment.
//
// One sweep up the grid, a row of runs at a time: each run of ink joins the
// groups of the runs it touches in the row below (union-find), and a group is
// settled once no run of the next row touches it. Only the runs of the groups
// still small enough to be specks are remembered, so the memory follows the
// specks on two rows, not the image.
#pragma once

#include <cstdint>
#include <functional>

#include "raster/pixel_grid.h"

namespace vp::scan {

// The largest speck size that may be asked for.
inline constexpr std::int32_t kMaxSpeck = 10000;

// Clears every 8-connected group of ink cells of at most `max_pixels` cells
// (nothing for 0); returns the number of cells cleared. `keep_going`, when given,
// is asked every few rows; false stops the sweep there (the grid is then partly
// cleaned). May throw std::bad_alloc.
std::int64_t remove_specks(PixelGrid& grid, std::int32_t max_pixels, const std::function<bool()>& keep_going = {});

}  // namespace vp::scan
