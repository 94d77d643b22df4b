#include "vector/run_tracer.h"

#include <gtest/gtest.h>

#include <random>

#include "raster/thinning.h"
#include "support/grid_builders.h"
#include "support/reference_conversion.h"

namespace vp {
namespace {

using testing::Cell;
using testing::CountingProgress;
using testing::grid_with_cells;

std::vector<LineRecord> traced(const PixelGrid& grid, CountingProgress& counter, LineData& lines) {
  EXPECT_TRUE(lines.reset_storage());
  run_tracing(grid, lines, counter);
  const auto held = lines.records();
  return {held.begin(), held.end()};
}

std::vector<LineRecord> traced(const PixelGrid& grid) {
  CountingProgress counter;
  LineData lines;
  return traced(grid, counter, lines);
}

std::vector<Cell> cells_of(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  std::vector<Cell> cells;
  for (std::int32_t x = x0; x <= x1; ++x)
    for (std::int32_t y = y0; y <= y1; ++y) cells.emplace_back(x, y);
  return cells;
}

struct TracingExample {
  const char* name;
  std::int32_t width, height;
  std::vector<Cell> cells;
  std::vector<LineRecord> expected;
};

TEST(RunTracing, DocumentedExamples) {
  std::vector<Cell> l_shape = cells_of(1, 1, 5, 1);
  for (const Cell& c : cells_of(1, 1, 1, 4)) l_shape.push_back(c);
  std::vector<Cell> plus = cells_of(1, 3, 5, 3);
  for (const Cell& c : cells_of(3, 1, 3, 5)) plus.push_back(c);
  const std::vector<TracingExample> examples = {
      {"no ink", 6, 6, {}, {}},
      {"single cell", 6, 6, {{3, 3}}, {}},
      {"two cells side by side", 6, 6, {{2, 2}, {3, 2}}, {{2, 2, 3, 2}}},
      {"L", 8, 8, l_shape, {{1, 1, 5, 1}, {1, 1, 1, 4}}},
      {"plus", 7, 7, plus, {{1, 3, 5, 3}, {3, 1, 3, 5}}},
      {"staircase",
       10,
       6,
       {{1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {6, 3}, {7, 4}, {8, 4}},
       {{1, 1, 2, 1}, {3, 2, 4, 2}, {5, 3, 6, 3}, {7, 4, 8, 4}, {2, 1, 3, 2}, {4, 2, 5, 3}, {6, 3, 7, 4}}},
      {"corner-to-corner falling diagonal is recorded twice",
       5,
       5,
       {{1, 5}, {2, 4}, {3, 3}, {4, 2}, {5, 1}},
       {{1, 5, 5, 1}, {1, 5, 5, 1}}},
      {"corner-to-corner rising diagonal is recorded twice",
       5,
       5,
       {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}},
       {{1, 1, 5, 5}, {1, 1, 5, 5}}},
      {"any run on a corner diagonal is recorded twice", 8, 8, {{3, 3}, {4, 4}}, {{3, 3, 4, 4}, {3, 3, 4, 4}}},
      {"a run on another diagonal once", 8, 8, {{4, 3}, {5, 4}}, {{4, 3, 5, 4}}},
      {"5 x 5 all ink: only the outline",
       5,
       5,
       cells_of(1, 1, 5, 5),
       {{1, 1, 5, 1}, {1, 5, 5, 5}, {1, 1, 1, 5}, {5, 1, 5, 5}}},
  };
  for (const TracingExample& e : examples) {
    SCOPED_TRACE(e.name);
    EXPECT_EQ(traced(grid_with_cells(e.width, e.height, e.cells)), e.expected);
  }
}

// A blank sheet far wider than high: its lines are counted, not each reported.
TEST(RunTracing, AVeryWideGridIsReportedByPercentNotByLine) {
  constexpr std::int32_t kWidth = 1 << 25;
  const PixelGrid grid = grid_with_cells(kWidth, 3, cells_of(kWidth - 40, 2, kWidth - 10, 2));
  testing::PercentWatch watch;
  LineData lines;
  ASSERT_EQ(run_tracing(grid, lines, watch), PhaseStatus::Finished);
  const std::int64_t total = tracing_work_total(kWidth + 2, 5);
  EXPECT_EQ(watch.last_done, total);
  EXPECT_FALSE(watch.jumped);
  EXPECT_LT(watch.reports, 100 + total / (1 << 20) + 64);
  EXPECT_EQ(lines.size(), 1);
}

TEST(RunTracing, CountsEveryLineAndStopsWhereAsked) {
  const PixelGrid grid = grid_with_cells(40, 30, cells_of(3, 3, 20, 3));
  {
    CountingProgress counter;
    LineData lines;
    traced(grid, counter, lines);
    EXPECT_EQ(counter.units, tracing_work_total(42, 32));
    EXPECT_EQ(tracing_work_total(42, 32), 3 * 40 + 3 * 30);
  }
  for (std::int64_t stop_after : {1, 29, 30, 31, 100, 209}) {
    CountingProgress counter;
    counter.stop_after = stop_after;
    LineData lines;
    const auto records = traced(grid, counter, lines);
    // RV_X tests for a stop before counting a row, so a stop asked at row n's count
    // is noticed after row n + 1; the diagonal members count first and stop at once.
    EXPECT_EQ(counter.units, stop_after) << stop_after;
    // The only run lies on row 3: a stop asked at row 1's count ends RV_X after row 2.
    EXPECT_EQ(records.size(), stop_after >= 2 ? 1u : 0u) << stop_after;
  }
}

TEST(RunTracing, AFailedGrowthEndsThePhaseWithOutOfMemory) {
  std::vector<Cell> cells;
  for (std::int32_t y = 1; y <= 2100; y += 2) {
    cells.emplace_back(1, y);
    cells.emplace_back(2, y);
  }
  const PixelGrid grid = grid_with_cells(3, 2100, cells);
  CountingProgress counter;
  LineData lines;
  ASSERT_TRUE(lines.reset_storage());
  lines.fail_next_growth_for_testing();
  EXPECT_EQ(run_tracing(grid, lines, counter), PhaseStatus::OutOfMemory);
  // The 1025th record could not be stored: the storage is gone, and with it the records.
  EXPECT_EQ(lines.capacity(), 0);
  EXPECT_EQ(lines.size(), 0);
  EXPECT_EQ(counter.units, 2048);  // RV_X counted rows 1 to 2048; row 2049 held the 1025th run
  // A released table starts afresh: a later record is the first of a new block.
  EXPECT_TRUE(lines.add(1, 1, 2, 2));
  EXPECT_EQ(lines.capacity(), 1024);
  EXPECT_EQ(lines.records()[0], (LineRecord{1, 1, 2, 2}));
}

TEST(RunTracing, TheTableGrowsByBlocksAndKeepsItsRecords) {
  LineData lines;
  ASSERT_TRUE(lines.reset_storage());
  for (std::int32_t i = 0; i < 1024; ++i) ASSERT_TRUE(lines.add(i, 1, i + 1, 1));
  EXPECT_EQ(lines.capacity(), 1024);
  ASSERT_TRUE(lines.add(-1, -2, -3, -4));
  EXPECT_EQ(lines.capacity(), 2048);
  EXPECT_EQ(lines.size(), 1025);
  for (std::int32_t i = 0; i < 1024; ++i) ASSERT_EQ(lines.data()[i], (LineRecord{i, 1, i + 1, 1}));
  EXPECT_EQ(lines.data()[1024], (LineRecord{-1, -2, -3, -4}));
  ASSERT_TRUE(lines.reset_storage());
  EXPECT_EQ(lines.capacity(), 1024);
  EXPECT_EQ(lines.size(), 0);
}

// The fast tracer against the literal scans: the same records in the same order.
TEST(RunTracing, MatchesTheLiteralScansOnRandomAndThinnedGrids) {
  std::mt19937 rng(4242);
  const std::vector<int> widths = {1, 2, 3, 4, 7, 62, 63, 64, 65, 66, 100, 129};
  for (int trial = 0; trial < 3000; ++trial) {
    const int w = widths[static_cast<std::size_t>(trial) % widths.size()];
    const int h = 1 + static_cast<int>(rng() % 70);
    PixelGrid grid = testing::random_grid(w, h, std::uniform_real_distribution<double>(0.05, 0.95)(rng), 0.0, rng);
    if (trial % 3 == 0) {
      CountingProgress thinning;
      run_thinning(grid, 1 + static_cast<int>(rng() % 3), thinning);
    }
    const auto expected = reference::trace(reference::ByteGrid::from(grid));
    ASSERT_EQ(traced(grid), expected) << "trial " << trial << " size " << w << "x" << h;
  }
}

}  // namespace
}  // namespace vp
