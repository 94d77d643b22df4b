#include "raster/thinning.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support/grid_builders.h"
#include "support/reference_conversion.h"

namespace vp {
namespace {

using testing::Cell;
using testing::CountingProgress;
using testing::grid_with_cells;
using testing::ink_cells;

std::vector<Cell> rect(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  std::vector<Cell> cells;
  for (std::int32_t x = x0; x <= x1; ++x)
    for (std::int32_t y = y0; y <= y1; ++y) cells.emplace_back(x, y);
  return cells;
}

std::vector<Cell> join(std::vector<Cell> a, const std::vector<Cell>& b) {
  a.insert(a.end(), b.begin(), b.end());
  std::sort(a.begin(), a.end());
  a.erase(std::unique(a.begin(), a.end()), a.end());
  return a;
}

std::vector<Cell> thinned(std::int32_t w, std::int32_t h, const std::vector<Cell>& cells, int passes) {
  PixelGrid grid = grid_with_cells(w, h, cells);
  CountingProgress counter;
  run_thinning(grid, passes, counter);
  return ink_cells(grid);
}

struct ThinningExample {
  const char* name;
  std::vector<Cell> cells;
  int passes;
  std::vector<Cell> expected;  // empty: unchanged
};

TEST(Thinning, DocumentedExamples) {
  const std::vector<Cell> diagonal = {{3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}};
  const std::vector<Cell> staircase = {{2, 2}, {3, 2}, {4, 3}, {5, 3}, {6, 4}, {7, 4}, {8, 5}, {9, 5}};
  const std::vector<Cell> cross = join(rect(2, 5, 10, 5), rect(6, 2, 6, 8));
  const std::vector<ThinningExample> examples = {
      {"horizontal line", rect(3, 4, 10, 4), 3, {}},
      {"vertical line", rect(5, 2, 5, 8), 3, {}},
      {"diagonal line", diagonal, 3, {}},
      {"falling diagonal", {{3, 7}, {4, 6}, {5, 5}, {6, 4}}, 2, {}},
      {"staircase", staircase, 3, {}},
      {"cross of two lines", cross, 3, {}},
      {"single cell", {{5, 5}}, 1, {}},
      {"run of two cells", {{5, 5}, {6, 5}}, 2, {}},
      {"L: the corner is cut", join(rect(2, 2, 6, 2), rect(2, 2, 2, 5)), 1, join(rect(3, 2, 6, 2), rect(2, 3, 2, 5))},
      {"bar 10 x 3", rect(3, 3, 12, 5), 1, rect(4, 4, 11, 4)},
      {"bar 10 x 3, three passes", rect(3, 3, 12, 5), 3, rect(4, 4, 11, 4)},
      {"bar 6 x 2", rect(3, 3, 8, 4), 1, rect(4, 4, 7, 4)},
      {"bar 2 x 6", rect(3, 3, 4, 8), 1, rect(4, 3, 4, 8)},
      {"bar 8 x 4, one pass", rect(3, 3, 10, 6), 1, rect(4, 4, 9, 5)},
      {"3 x 3 block", rect(4, 4, 6, 6), 1, rect(5, 4, 5, 6)},
      {"3 x 3 block on the left edge", rect(1, 4, 3, 6), 1, rect(1, 5, 2, 5)},
      {"6 x 3 block on the left edge", rect(1, 4, 6, 6), 1, rect(1, 5, 5, 5)},
      {"step of four cells", {{2, 3}, {3, 3}, {3, 2}, {4, 2}}, 1, {{3, 3}, {4, 2}}},
  };
  for (const ThinningExample& e : examples) {
    SCOPED_TRACE(e.name);
    std::vector<Cell> expected = e.expected.empty() ? e.cells : e.expected;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(thinned(14, 10, e.cells, e.passes), expected);
  }
}

TEST(Thinning, BarEightByFourBecomesOneRowOfFourAfterTwoPasses) {
  const std::vector<Cell> cells = thinned(14, 10, rect(3, 3, 10, 6), 2);
  ASSERT_EQ(cells.size(), 4u);
  for (std::size_t i = 1; i < cells.size(); ++i) {
    EXPECT_EQ(cells[i].second, cells[0].second);
    EXPECT_EQ(cells[i].first, cells[i - 1].first + 1);
  }
}

TEST(Thinning, CountsEveryLineOfTheDocumentedScans) {
  for (const auto& [w, h, passes] :
       std::vector<std::tuple<int, int, int>>{{1, 1, 1}, {5, 3, 1}, {70, 40, 3}, {130, 2, 7}}) {
    PixelGrid grid = grid_with_cells(w, h, rect(1, 1, w, h));
    CountingProgress counter;
    EXPECT_EQ(run_thinning(grid, passes, counter), PhaseStatus::Finished);
    EXPECT_EQ(counter.units, thinning_work_total(w + 2, h + 2, passes)) << w << "x" << h << " passes " << passes;
    EXPECT_EQ(counter.last_done, counter.units);  // the count runs over every pass
    EXPECT_EQ(counter.last_total, counter.units);
    for (std::int32_t x = 0; x < grid.width(); ++x)
      for (std::int32_t y = 0; y < grid.height(); ++y) ASSERT_NE(grid.at(x, y), kProtected);
  }
  EXPECT_EQ(thinning_work_total(10, 8, 1), 6 * 8 + 6 * 10 - 8 + 8);
  EXPECT_EQ(thinning_work_total(10, 8, 0), 8);
}

TEST(Thinning, StopsAtTheLineWhereAStopIsAsked) {
  for (std::int64_t stop_after : {1, 5, 17, 60, 200}) {
    PixelGrid grid = grid_with_cells(30, 20, rect(2, 2, 25, 15));
    CountingProgress counter;
    counter.stop_after = stop_after;
    EXPECT_EQ(run_thinning(grid, 3, counter), PhaseStatus::Stopped);
    EXPECT_EQ(counter.units, stop_after);
  }
}

// A grid far wider than high: a report for each of its hundreds of millions of
// units would take all the time. Such a phase reports each whole percent (the bar
// never jumps one) and every so often between, and its count still ends at the total.
TEST(Thinning, AVeryWideGridIsReportedByPercentNotByUnit) {
  constexpr std::int32_t kWidth = 1 << 25;
  PixelGrid grid = grid_with_cells(kWidth, 2, rect(kWidth - 300, 1, kWidth - 1, 2));
  testing::PercentWatch watch;
  ASSERT_EQ(run_thinning(grid, 2, watch), PhaseStatus::Finished);
  const std::int64_t total = thinning_work_total(kWidth + 2, 4, 2);
  EXPECT_EQ(watch.last_done, total);
  EXPECT_EQ(watch.last_total, total);
  EXPECT_EQ(watch.shown, 100);
  EXPECT_FALSE(watch.jumped);
  EXPECT_LT(watch.reports, 100 + total / (1 << 20) + 64);
  // Thinned as the same strokes on a narrow sheet are.
  std::vector<Cell> expected = thinned(600, 2, rect(300, 1, 599, 2), 2);
  for (Cell& cell : expected) cell.first += kWidth - 600;
  EXPECT_EQ(ink_cells(grid), expected);
}

// Each fast step against its literal scan, on random grids that include protected
// cells, widths across word boundaries and ink touching the image edges.
TEST(Thinning, EveryStepMatchesTheLiteralScan) {
  std::mt19937 rng(20261207);
  using FastStep = void (*)(PixelGrid&, PhaseMeter&, ThinningOptions&);
  using RefStep = void (*)(reference::ByteGrid&);
  const std::vector<std::pair<FastStep, RefStep>> steps = {
      {SetOKdata, reference::SetOKdata},   {SetBevelX1, reference::SetBevelX1}, {SetBevelX2, reference::SetBevelX2},
      {SetBevelY1, reference::SetBevelY1}, {SetBevelY2, reference::SetBevelY2}, {BlueToBlack, reference::BlueToBlack},
  };
  const std::vector<int> widths = {1, 2, 3, 5, 17, 61, 62, 63, 64, 65, 66, 127, 130};
  for (int trial = 0; trial < 3000; ++trial) {
    const int w = widths[static_cast<std::size_t>(trial) % widths.size()];
    const int h = 1 + static_cast<int>(rng() % 24);
    const double density = std::uniform_real_distribution<double>(0.05, 0.95)(rng);
    const double protected_share = trial % 3 == 0 ? 0.0 : 0.3;
    PixelGrid grid = testing::random_grid(w, h, density, protected_share, rng);
    const auto& [fast, literal] = steps[static_cast<std::size_t>(trial) % steps.size()];
    reference::ByteGrid expected = reference::ByteGrid::from(grid);
    literal(expected);
    reference::ClearBevel(expected);
    CountingProgress counter;
    PhaseMeter meter(counter, Phase::Thin, 0);
    ThinningOptions options;
    fast(grid, meter, options);
    ASSERT_TRUE(reference::ByteGrid::from(grid) == expected) << "trial " << trial << " size " << w << "x" << h;
  }
}

// Whole phases against the literal one, on random grids and on thick strokes.
TEST(Thinning, WholePassesMatchTheLiteralScans) {
  std::mt19937 rng(77);
  for (int trial = 0; trial < 1500; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 90);
    const int h = 1 + static_cast<int>(rng() % 40);
    const int passes = 1 + static_cast<int>(rng() % 5);
    PixelGrid grid;
    if (trial % 2 == 0) {
      grid = testing::random_grid(w, h, std::uniform_real_distribution<double>(0.1, 0.9)(rng), 0.0, rng);
    } else {
      // Thick strokes: random rectangles, lines of a few cells' width.
      std::vector<Cell> cells;
      for (int s = 0; s < 6; ++s) {
        const int x0 = 1 + static_cast<int>(rng() % w), y0 = 1 + static_cast<int>(rng() % h);
        const int dx = static_cast<int>(rng() % 3) - 1, dy = static_cast<int>(rng() % 3) - 1;
        const int len = static_cast<int>(rng() % 30), thick = 1 + static_cast<int>(rng() % 5);
        for (int i = 0; i < len; ++i)
          for (int t = 0; t < thick; ++t)
            for (int u = 0; u < thick; ++u) {
              const int x = x0 + dx * i + t, y = y0 + dy * i + u;
              if (x >= 1 && x <= w && y >= 1 && y <= h) cells.emplace_back(x, y);
            }
      }
      grid = grid_with_cells(w, h, cells);
    }
    reference::ByteGrid expected = reference::ByteGrid::from(grid);
    reference::thin(expected, passes);
    CountingProgress counter;
    run_thinning(grid, passes, counter);
    ASSERT_TRUE(reference::ByteGrid::from(grid) == expected) << "trial " << trial;
  }
}

}  // namespace
}  // namespace vp

namespace vp {
namespace {

// Two threads change nothing: the sweep's second half of the steps follows the
// first up the grid (on tall sheets the two meet at many chunks), and a stop asked
// at any point ends the phase there.
TEST(Thinning, TwoThreadsMatchTheLiteralScans) {
  const ThinningOptions two_threads{2, 1};
  std::mt19937 rng(515);
  struct Sheets {
    int trials, widest, lowest, taller;
  };
  for (const auto& [trials, widest, lowest, taller] : {Sheets{600, 80, 2, 40}, Sheets{6, 170, 1500, 2500}}) {
    for (int trial = 0; trial < trials; ++trial) {
      const int w = 1 + static_cast<int>(rng() % widest);
      const int h = lowest + static_cast<int>(rng() % taller);
      PixelGrid grid = testing::random_grid(w, h, std::uniform_real_distribution<double>(0.2, 0.9)(rng), 0.0, rng);
      const int passes = 1 + static_cast<int>(rng() % 3);
      reference::ByteGrid expected = reference::ByteGrid::from(grid);
      reference::thin(expected, passes);
      testing::CountingProgress counter;
      run_thinning(grid, passes, counter, two_threads);
      ASSERT_TRUE(reference::ByteGrid::from(grid) == expected) << w << "x" << h << " trial " << trial;
      ASSERT_EQ(counter.units, thinning_work_total(w + 2, h + 2, passes));
    }
  }
  for (const auto& [w, h, stop_after] : std::vector<std::tuple<int, int, std::int64_t>>{
           {50, 60, 1}, {50, 60, 9}, {50, 60, 33}, {50, 60, 150}, {100, 3000, 3000}, {100, 3000, 39000}}) {
    PixelGrid grid = testing::random_grid(w, h, 0.5, 0.0, rng);
    testing::CountingProgress counter;
    counter.stop_after = stop_after;
    EXPECT_EQ(run_thinning(grid, 2, counter, two_threads), PhaseStatus::Stopped);
    EXPECT_EQ(counter.units, stop_after);
  }
}

}  // namespace
}  // namespace vp
