// The fitted drawing judged on sheets of known geometry: clean, skewed and
// scanned in grey, with strokes of 2 to 6 pixels. The measures are those a CAD
// user would check by hand; the limits sit a little inside what the stage
// reaches (well inside what it must reach), so that a real regression shows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "tests/support/cad_score.h"

namespace vp {
namespace {

enum class Variant { Clean, Skewed, Scanned };

struct Totals {
  double recall = 0, precision = 0, within_1px = 0;
  std::int64_t sheets = 0, entities = 0, drawn = 0;
  std::int64_t circles = 0, circles_found = 0, arcs = 0, arcs_found = 0;
  std::int64_t corners = 0, corners_closed = 0, axis = 0, axis_exact = 0, whiskers = 0;
  double worst_recall = 1, worst_precision = 1;

  void add(const testing::CadScore& s) {
    ++sheets;
    recall += s.recall;
    precision += s.precision;
    within_1px += s.within_1px;
    worst_recall = std::min(worst_recall, s.recall);
    worst_precision = std::min(worst_precision, s.precision);
    entities += s.entities;
    drawn += s.drawn_entities;
    circles += s.circles;
    circles_found += s.circles_found;
    arcs += s.arcs;
    arcs_found += s.arcs_found;
    corners += s.corners;
    corners_closed += s.corners_closed;
    axis += s.axis_lines;
    axis_exact += s.axis_lines_exact;
    whiskers += s.whiskers;
  }
  static double share(std::int64_t a, std::int64_t b) { return b == 0 ? 1.0 : static_cast<double>(a) / b; }
};

Totals score_variant(Variant variant) {
  Totals totals;
  int k = 0;
  for (SheetKind kind : kSheetKinds) {
    const int v = static_cast<int>(variant);
    const double stroke = 2 + (k + 2 * v) % 5;
    // Skews from 0.3° to 1.5°, either way.
    const double skew = variant == Variant::Skewed ? (k % 2 ? -1 : 1) * (0.3 + 1.2 * ((k * 37) % 10) / 9.0) : 0.0;
    const CadSheet sheet = make_cad_sheet(kind, 11 + static_cast<std::uint32_t>(v), stroke, skew);
    const testing::CadScore s = testing::score_drawing(testing::fit_sheet(sheet, variant == Variant::Scanned), sheet);
    std::printf(
        "%-11s %-7s w=%.0f skew %+5.2f  R %.4f P %.4f 1px %.3f  ent %2d/%2d  circles %d/%d  arcs %d/%d  "
        "corners %2d/%2d  axis %2d/%2d  whiskers %d\n",
        sheet.name.c_str(),
        variant == Variant::Clean    ? "clean"
        : variant == Variant::Skewed ? "skewed"
                                     : "scan",
        stroke, skew, s.recall, s.precision, s.within_1px, s.entities, s.drawn_entities, s.circles_found, s.circles,
        s.arcs_found, s.arcs, s.corners_closed, s.corners, s.axis_lines_exact, s.axis_lines, s.whiskers);
    totals.add(s);
    ++k;
  }
  return totals;
}

struct Goal {
  Variant variant;
  double entities_per_drawn;  // compactness
  double axis_share;
};

class CadScoring : public ::testing::TestWithParam<Goal> {};

TEST_P(CadScoring, MeetsTheMeasuresOnEverySheetKind) {
  const Goal goal = GetParam();
  const Totals t = score_variant(goal.variant);
  const double n = static_cast<double>(t.sheets);
  std::printf(
      "all %d sheets: recall %.4f precision %.4f within 1 px %.4f  entities %.2f per drawn  circles %.3f  "
      "arcs %.3f  corners %.3f  axis lines %.3f  whiskers %lld\n",
      static_cast<int>(t.sheets), t.recall / n, t.precision / n, t.within_1px / n,
      static_cast<double>(t.entities) / static_cast<double>(t.drawn), Totals::share(t.circles_found, t.circles),
      Totals::share(t.arcs_found, t.arcs), Totals::share(t.corners_closed, t.corners),
      Totals::share(t.axis_exact, t.axis), static_cast<long long>(t.whiskers));
  EXPECT_GE(t.recall / n, 0.995);
  EXPECT_GE(t.precision / n, 0.995);
  EXPECT_GE(t.worst_recall, 0.99);
  EXPECT_GE(t.worst_precision, 0.99);
  EXPECT_GE(t.within_1px / n, 0.99);
  EXPECT_LE(static_cast<double>(t.entities) / static_cast<double>(t.drawn), goal.entities_per_drawn);
  EXPECT_GE(Totals::share(t.circles_found, t.circles), 0.95);
  // Short arcs fix their radius least well: a 45° arc of radius 90 fits circles
  // 3 px apart within its pixels' noise.
  EXPECT_GE(Totals::share(t.arcs_found, t.arcs), 0.8);
  EXPECT_GE(Totals::share(t.corners_closed, t.corners), 0.95);
  EXPECT_GE(Totals::share(t.axis_exact, t.axis), goal.axis_share);
  EXPECT_LE(t.whiskers, 3);
}

INSTANTIATE_TEST_SUITE_P(Sheets, CadScoring,
                         ::testing::Values(Goal{Variant::Clean, 1.15, 1.0}, Goal{Variant::Skewed, 1.15, 1.0},
                                           Goal{Variant::Scanned, 1.2, 0.99}),
                         [](const auto& info) {
                           return std::string(info.param.variant == Variant::Clean    ? "Clean"
                                              : info.param.variant == Variant::Skewed ? "Skewed"
                                                                                      : "Scanned");
                         });

}  // namespace
}  // namespace vp
