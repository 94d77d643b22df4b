// Small grids for tests: from pictures, from cell lists, at random.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "raster/pixel_grid.h"
#include "raster/phase_control.h"

namespace vp::testing {

using Cell = std::pair<std::int32_t, std::int32_t>;

// An image given as text rows, top row first: '#' ink, '2' protected ink, anything else background.
PixelGrid grid_from_picture(const std::vector<std::string>& rows);
// An image of the given size whose listed grid cells (x, y) are ink.
PixelGrid grid_with_cells(std::int32_t image_width, std::int32_t image_height, const std::vector<Cell>& cells);
// Random codes 0/1 (and 2 with probability `protected_share` among ink) inside the border.
PixelGrid random_grid(std::int32_t image_width, std::int32_t image_height, double density, double protected_share,
                      std::mt19937& rng);
// The ink cells of a grid, in order of x then y.
std::vector<Cell> ink_cells(const PixelGrid& grid);

// A PhaseControl that counts lines and can raise CancelState after a given count.
struct CountingControl {
  std::int32_t cancel_state = 0;
  std::int64_t units = 0;
  std::int64_t cancel_after = -1;  // set CancelState to 1 once this many lines are done
  PhaseControl control{cancel_state, [this] {
                         ++units;
                         if (cancel_after >= 0 && units >= cancel_after) cancel_state = 1;
                       }};
  CountingControl() = default;
  CountingControl(const CountingControl&) = delete;
};

}  // namespace vp::testing
