// Speck removal against a plain flood fill.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "raster/thread_start.h"
#include "scan/dust_removal.h"
#include "support/grid_builders.h"

namespace vp::scan {
namespace {

// The literal rule: every 8-connected group of ink cells of at most `limit`
// cells, found by flood fill, is cleared.
std::int64_t flood_fill_specks(PixelGrid& grid, std::int32_t limit) {
  const std::int32_t w = grid.width(), h = grid.height();
  std::vector<char> seen(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  std::int64_t cleared = 0;
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      if (grid.at(x, y) == 0 || seen[static_cast<std::size_t>(y) * w + x]) continue;
      std::vector<std::pair<std::int32_t, std::int32_t>> group{{x, y}}, stack{{x, y}};
      seen[static_cast<std::size_t>(y) * w + x] = 1;
      while (!stack.empty()) {
        const auto [cx, cy] = stack.back();
        stack.pop_back();
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            const std::int32_t nx = cx + dx, ny = cy + dy;
            if (nx < 0 || ny < 0 || nx >= w || ny >= h || grid.at(nx, ny) == 0 ||
                seen[static_cast<std::size_t>(ny) * w + nx])
              continue;
            seen[static_cast<std::size_t>(ny) * w + nx] = 1;
            group.push_back({nx, ny});
            stack.push_back({nx, ny});
          }
      }
      if (static_cast<std::int64_t>(group.size()) > limit) continue;
      for (const auto& [gx, gy] : group) grid.set(gx, gy, 0);
      cleared += static_cast<std::int64_t>(group.size());
    }
  }
  return cleared;
}

TEST(Despeckle, ClearsExactlyTheGroupsAFloodFillFindsSmallEnough) {
  std::mt19937 rng(20261207);
  for (int trial = 0; trial < 3000; ++trial) {
    // Sizes across word boundaries; densities from scattered dots to a web of ink.
    const std::int32_t w = std::uniform_int_distribution<std::int32_t>(1, 150)(rng);
    const std::int32_t h = std::uniform_int_distribution<std::int32_t>(1, 24)(rng);
    const double density = std::uniform_real_distribution<double>(0.05, 0.6)(rng);
    const std::int32_t limit = std::uniform_int_distribution<std::int32_t>(0, 40)(rng);
    PixelGrid fast = testing::random_grid(w, h, density, 0.0, rng);
    PixelGrid literal = testing::random_grid(1, 1, 0, 0, rng);
    literal.reset(w, h);
    for (const auto& [x, y] : testing::ink_cells(fast)) literal.set(x, y, 1);
    const std::int64_t expected = flood_fill_specks(literal, limit);
    ASSERT_EQ(remove_specks(fast, limit), expected) << w << " x " << h << ", limit " << limit;
    ASSERT_EQ(testing::ink_cells(fast), testing::ink_cells(literal)) << w << " x " << h << ", limit " << limit;
  }
}

// A grid large enough to be swept in two halves: the same cells cleared, and
// as many, as one sweep on its own clears; specks across the seam included.
TEST(Despeckle, TwoHalvesClearWhatOneSweepDoes) {
  const std::int32_t w = 1100, h = 1000;  // 18 words a row
  std::uint32_t seed = 8;
  for (const std::int32_t limit : {1, 8, 40}) {
    for (const double density : {0.08, 0.35}) {
      SCOPED_TRACE("limit " + std::to_string(limit) + ", density " + std::to_string(density));
      std::mt19937 rng(++seed), same(seed);
      PixelGrid halves = testing::random_grid(w, h, density, 0.0, rng);
      PixelGrid one = testing::random_grid(w, h, density, 0.0, same);
      refuse_threads_for_testing(true);
      const std::int64_t alone = remove_specks(one, limit);
      refuse_threads_for_testing(false);
      EXPECT_EQ(remove_specks(halves, limit), alone);
      EXPECT_GT(alone, 0);
      std::int32_t rows_differing = 0;
      for (std::int32_t y = 0; y < h; ++y)
        rows_differing += !std::equal(halves.ink_row(y), halves.ink_row(y) + halves.words_per_row(), one.ink_row(y));
      EXPECT_EQ(rows_differing, 0);
    }
  }
}

}  // namespace
}  // namespace vp::scan
