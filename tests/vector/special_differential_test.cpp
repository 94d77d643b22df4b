// The fast special-mode phases against the literal ones, on generated tables and
// on generated chains.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "core/conversion_settings.h"
#include "support/reference_special.h"
#include "support/special_tables.h"
#include "vector/chain_straightness.h"

namespace vp {
namespace {

using testing::first_difference;
using testing::generated_special_table;
using testing::run_fast_special;
using testing::run_literal_special;

TEST(SpecialModeDifferential, TenThousandGeneratedTablesAgreeWithTheLiteralPhases) {
  constexpr std::uint64_t kTables = 10000;
  int failures = 0;
  std::map<std::string, int> kinds;
  // What the family must exercise, so that agreement means something.
  int empty = 0, with_crossings = 0, without_stops = 0, merged_something = 0, zero_length_lines = 0,
      grown_new_lines = 0, compacted_twice = 0;
  std::int64_t segments = 0;
  for (std::uint64_t n = 0; n < kTables; ++n) {
    const testing::SpecialTable table = generated_special_table(n);
    const testing::SpecialOutcome fast = run_fast_special(table);
    const testing::SpecialOutcome literal = run_literal_special(table);
    const std::string difference = first_difference(fast, literal);
    if (!difference.empty()) {
      ADD_FAILURE() << "table " << n << " (" << table.kind << ", tolerance " << table.tolerance << ", "
                    << table.records.size() << " records): " << testing::to_string(table.records) << "\n"
                    << difference;
      if (++failures == 5) return;
    }
    ++kinds[table.kind];
    segments += static_cast<std::int64_t>(table.records.size());
    empty += table.records.empty();
    with_crossings += !literal.cross_points.empty();
    without_stops += !table.records.empty() && literal.top_points.empty() && literal.cross_points.empty();
    merged_something += literal.new_lines.size() < table.records.size();
    for (const LineRecord& r : literal.new_lines) zero_length_lines += r.x1 == r.x2 && r.y1 == r.y2;
    grown_new_lines += literal.new_capacity > 1024;
    compacted_twice += !literal.table_after_merging.empty() && table.records.size() > 150;
  }
  EXPECT_EQ(kinds.size(), static_cast<std::size_t>(testing::kSpecialTableKinds));
  EXPECT_GT(segments, 250000);
  EXPECT_GT(empty, 10);
  EXPECT_GT(with_crossings, 2000);
  EXPECT_GT(without_stops, 200);
  EXPECT_GT(merged_something, 3000);
  EXPECT_GT(zero_length_lines, 100);
  EXPECT_GT(compacted_twice, 0);
  RecordProperty("segments", std::to_string(segments));
  (void)grown_new_lines;
}

// Chains along random lines, inner points pushed off the line by up to a little
// more than the tolerance; every prefix of each chain is a test of the growing
// chain, as merging makes them.
struct ChainFamily {
  const char* name;
  double coordinate_range;  // where the chains start
  bool steep;               // nearly vertical lines, where the float line is coarsest
  bool pythagorean;         // offsets at exact distances along (3, 4) and (5, 12)
};

std::vector<GridPoint> random_chain(std::mt19937_64& rng, const ChainFamily& family, float tolerance) {
  auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  auto whole = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  const double start_x = uniform(0, family.coordinate_range), start_y = uniform(0, family.coordinate_range);
  const std::int32_t points = whole(3, 220);
  std::vector<GridPoint> chain;
  if (family.pythagorean) {
    static const GridPoint along[] = {{3, 4}, {4, 3}, {5, 12}, {12, 5}, {-3, 4}, {4, -3}};
    static const GridPoint off[] = {{1, -2}, {2, -1}, {1, -1}, {-1, 2}, {3, -1}, {-5, 2}, {2, -5}};
    const GridPoint d = along[whole(0, 5)];
    const auto x0 = static_cast<std::int32_t>(start_x), y0 = static_cast<std::int32_t>(start_y);
    for (std::int32_t i = 0; i < points; ++i) {
      GridPoint p{x0 + i * d.x, y0 + i * d.y};
      if (i > 0 && whole(0, 2) == 0) {
        const GridPoint o = off[whole(0, 6)];
        p.x += o.x, p.y += o.y;
      }
      chain.push_back(p);
    }
    return chain;
  }
  const double angle = family.steep ? 3.14159265358979 / 2 + uniform(-0.01, 0.01) : uniform(0, 2 * 3.14159265358979);
  const double step = uniform(0.7, 4.0);
  const double reach = tolerance + 0.8;
  const double ux = std::cos(angle), uy = std::sin(angle);
  for (std::int32_t i = 0; i < points; ++i) {
    double off = 0;
    if (i > 0) off = whole(0, 3) == 0 ? uniform(-reach, reach) : uniform(-0.7, 0.7);
    const double x = start_x + ux * step * i - uy * off, y = start_y + uy * step * i + ux * off;
    chain.push_back(GridPoint{static_cast<std::int32_t>(std::lround(std::max(0.0, x))),
                              static_cast<std::int32_t>(std::lround(std::max(0.0, y)))});
  }
  return chain;
}

TEST(ChainStraightness, AgreesWithMeasuringEveryPointOnEveryPrefixOfGeneratedChains) {
  const std::vector<ChainFamily> families = {
      {"small coordinates", 200, false, false},     {"an A0 sheet at 600 dpi", 30000, false, false},
      {"nearly vertical", 30000, true, false},      {"coordinates near 2^24", 16e6, false, false},
      {"coordinates near 2^30", 1e9, false, false}, {"points at exact distances", 5000, false, true},
  };
  std::mt19937_64 rng(20240611);
  for (const ChainFamily& family : families) {
    SCOPED_TRACE(family.name);
    std::int64_t tests = 0, bent = 0, straight_measured = 0;
    for (int trial = 0; trial < 400; ++trial) {
      const float tolerance = tenths_to_real(std::uniform_int_distribution<std::int32_t>(1, 100)(rng));
      const std::vector<GridPoint> chain = random_chain(rng, family, tolerance);
      ChainStraightness straightness(tolerance);
      for (std::size_t n = 1; n <= chain.size(); ++n) {
        const std::span<const GridPoint> prefix(chain.data(), n);
        const bool expected = reference::literal_ave_line(prefix, tolerance);
        const std::int64_t measured_before = straightness.full_measurements();
        ASSERT_EQ(straightness.bent(prefix), expected)
            << "trial " << trial << ", tolerance " << tolerance << ", prefix of " << n << " points ending at ("
            << chain[n - 1].x << ", " << chain[n - 1].y << ")";
        EXPECT_EQ(chain_bent_measuring_every_point(prefix, tolerance), expected);
        ++tests;
        bent += expected;
        straight_measured += !expected && straightness.full_measurements() > measured_before;
      }
    }
    // Both answers occur, and on ordinary chains the shortcut gives most "straight"
    // answers without measuring (near the tolerance it must measure).
    EXPECT_GT(bent, tests / 20);
    EXPECT_LT(bent, tests);
    if (!family.pythagorean && !family.steep && family.coordinate_range <= 30000) {
      EXPECT_LT(straight_measured * 4, tests - bent);
    }
  }
}

}  // namespace
}  // namespace vp
