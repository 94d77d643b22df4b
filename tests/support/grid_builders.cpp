#include "support/grid_builders.h"

#include <stdexcept>

namespace vp::testing {

PixelGrid grid_from_picture(const std::vector<std::string>& rows) {
  const auto height = static_cast<std::int32_t>(rows.size());
  const auto width = static_cast<std::int32_t>(rows.empty() ? 0 : rows.front().size());
  PixelGrid grid;
  if (!grid.reset(width, height)) throw std::runtime_error("grid_from_picture: bad size");
  for (std::int32_t r = 0; r < height; ++r) {
    for (std::int32_t c = 0; c < width && c < static_cast<std::int32_t>(rows[r].size()); ++c) {
      const char ch = rows[r][c];
      if (ch == '#') grid.set(c + 1, height - r, kInk);
      if (ch == '2') grid.set(c + 1, height - r, kProtected);
    }
  }
  return grid;
}

PixelGrid grid_with_cells(std::int32_t image_width, std::int32_t image_height, const std::vector<Cell>& cells) {
  PixelGrid grid;
  if (!grid.reset(image_width, image_height)) throw std::runtime_error("grid_with_cells: bad size");
  for (const auto& [x, y] : cells) grid.set(x, y, kInk);
  return grid;
}

PixelGrid random_grid(std::int32_t image_width, std::int32_t image_height, double density, double protected_share,
                      std::mt19937& rng) {
  PixelGrid grid;
  if (!grid.reset(image_width, image_height)) throw std::runtime_error("random_grid: bad size");
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (std::int32_t x = 1; x <= image_width; ++x)
    for (std::int32_t y = 1; y <= image_height; ++y)
      if (u(rng) < density) grid.set(x, y, u(rng) < protected_share ? kProtected : kInk);
  return grid;
}

std::vector<Cell> ink_cells(const PixelGrid& grid) {
  std::vector<Cell> cells;
  for (std::int32_t x = 0; x < grid.width(); ++x)
    for (std::int32_t y = 0; y < grid.height(); ++y)
      if (grid.at(x, y) != kBackground) cells.emplace_back(x, y);
  return cells;
}

}  // namespace vp::testing
