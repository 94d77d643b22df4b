#include <gtest/gtest.h>

#include "cad/cad_stage.h"
#include "raster/thinning.h"
#include "raster/thread_start.h"
#include "testkit/cad_sheets.h"
#include "tests/support/cad_score.h"

namespace vp::cad {
namespace {

struct Thinned {
  PixelGrid grid;
  InkCopy ink;
};

Thinned thinned(const InkImage& image, std::int32_t passes) {
  Thinned t;
  t.grid.reset(image.width, image.height);
  for (std::int32_t r = 0; r < image.height; ++r) t.grid.set_image_row(r, image.row(r));
  t.ink = InkCopy::of(t.grid);
  NoProgress quiet;
  run_thinning(t.grid, passes, quiet);
  return t;
}

// Stops the phase after a number of reports.
class StopAfter final : public Progress {
 public:
  explicit StopAfter(std::int64_t reports) : left_(reports) {}
  bool report(Phase, std::int64_t, std::int64_t) override { return --left_ > 0; }

 private:
  std::int64_t left_;
};

TEST(CadStage, TheDrawingDoesNotDependOnTheHelperThreadAndStopsWhenAsked) {
  const CadSheet sheet = make_cad_sheet(SheetKind::Flange, 5, 3, 0.7);
  const Thinned t = thinned(sheet.ink, 1);
  CadParams params;
  params.ink = &t.ink;
  NoProgress quiet;
  CadDrawing threaded, alone;
  ASSERT_EQ(build_cad_drawing(t.grid, params, threaded, quiet), PhaseStatus::Finished);
  refuse_threads_for_testing(true);
  ASSERT_EQ(build_cad_drawing(t.grid, params, alone, quiet), PhaseStatus::Finished);
  refuse_threads_for_testing(false);
  EXPECT_EQ(threaded.lines, alone.lines);
  EXPECT_EQ(threaded.arcs, alone.arcs);
  EXPECT_EQ(threaded.circles, alone.circles);
  EXPECT_EQ(threaded.circles.size(), sheet.truth.circles.size());

  StopAfter stop(10);
  CadDrawing stopped;
  EXPECT_EQ(build_cad_drawing(t.grid, params, stopped, stop), PhaseStatus::Stopped);
  EXPECT_TRUE(stopped.empty());

  const Thinned blank = thinned(InkImage(40, 30), 1);
  CadDrawing nothing;
  EXPECT_EQ(build_cad_drawing(blank.grid, params, nothing, quiet), PhaseStatus::Finished);
  EXPECT_TRUE(nothing.empty());
  EXPECT_EQ(nothing.skew_degrees, 0);
}

TEST(CadStage, ASmallHoleOnACentreLineStaysOneCircle) {
  // The line crosses the hole twice; its two halves must join into one circle
  // again, however much of their ends the junctions left out.
  for (double stroke : {2.0, 3.0, 4.0, 5.0, 6.0})
    for (double radius : {10.0, 14.0, 20.0}) {
      if (radius < 2.5 * stroke) continue;  // a hole that small in so thick a pen is a blot
      CadSheet sheet;
      sheet.stroke = stroke;
      sheet.truth.circles.push_back({{150.5, 100.5}, radius});
      sheet.truth.lines.push_back({{40, 100.5}, {260, 100.5}});
      sheet.ink = draw_with_pen(sheet.truth, 300, 200, stroke);
      const CadDrawing fitted = testing::fit_sheet(sheet, false);
      EXPECT_EQ(fitted.circles.size(), 1u) << "stroke " << stroke << " radius " << radius;
      EXPECT_EQ(fitted.arcs.size(), 0u) << "stroke " << stroke << " radius " << radius;
      EXPECT_EQ(fitted.lines.size(), 1u) << "stroke " << stroke << " radius " << radius;
    }
}

}  // namespace
}  // namespace vp::cad
