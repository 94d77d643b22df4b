// Small grids for tests: from pictures, from cell lists, at random.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "raster/pixel_grid.h"
#include "raster/progress.h"

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

// A Progress that counts the units reported and asks to stop once `stop_after` of
// them are done.
struct CountingProgress final : Progress {
  std::int64_t units = 0;
  std::int64_t stop_after = -1;
  std::int64_t last_done = 0, last_total = 0;  // the latest report
  bool report(Phase, std::int64_t done, std::int64_t total) override {
    ++units;
    last_done = done;
    last_total = total;
    return stop_after < 0 || units < stop_after;
  }
};

// A Progress that watches the whole percent of a phase as a progress bar shows it:
// whether it ever jumped a percent, how many reports came and the latest one.
struct PercentWatch final : Progress {
  std::int64_t reports = 0, last_done = 0, last_total = 0;
  std::int64_t shown = 0;
  bool jumped = false;
  bool report(Phase, std::int64_t done, std::int64_t total) override {
    ++reports;
    last_done = done;
    last_total = total;
    const auto percent = static_cast<std::int64_t>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
    jumped |= percent > shown + 1;
    shown = std::max(shown, percent);
    return true;
  }
};

}  // namespace vp::testing
