#include <gtest/gtest.h>

#include "cad/cad_stage.h"
#include "raster/thinning.h"
#include "raster/thread_start.h"
#include "testkit/cad_sheets.h"
#include "tests/support/cad_score.h"
#include "tests/support/live_threads.h"

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

// Counts the reports made after the walk's last row (waiting for the helper,
// joining its pieces, the clean-ups), and answers "stop" at the `stop_at`-th of them.
class AfterTheWalk final : public Progress {
 public:
  explicit AfterTheWalk(std::int64_t stop_at) : stop_at_(stop_at) {}
  bool report(Phase, std::int64_t done, std::int64_t total) override {
    if (stopped_) ++reports_after_stop_;
    if (done + 1 == total && ++asked_ == stop_at_) stopped_ = true;
    return !stopped_;
  }
  std::int64_t asked() const { return asked_; }
  bool stopped() const { return stopped_; }
  std::int64_t reports_after_stop() const { return reports_after_stop_; }

 private:
  std::int64_t stop_at_, asked_ = 0, reports_after_stop_ = 0;
  bool stopped_ = false;
};

TEST(CadStage, AStopAfterTheWalkIsHeardAtOnceWithOrWithoutTheHelper) {
  // A lattice: thousands of crossings, so that every clean-up has many steps to ask in.
  CadDrawing lattice;
  for (double at = 10.5; at < 600; at += 14) {
    lattice.lines.push_back({{5, at}, {595, at}});
    lattice.lines.push_back({{at, 5}, {at, 595}});
  }
  const Thinned t = thinned(draw_with_pen(lattice, 600, 600, 2), 1);
  CadParams params;
  params.ink = &t.ink;
  const std::size_t threads_before = testing::live_threads_before_work();
  for (const bool helper : {true, false}) {
    refuse_threads_for_testing(!helper);
    AfterTheWalk count(-1);
    CadDrawing whole;
    ASSERT_EQ(build_cad_drawing(t.grid, params, whole, count), PhaseStatus::Finished);
    // The clean-ups ask as they go, not only once at the end.
    ASSERT_GE(count.asked(), 3) << "helper " << helper;
    for (const std::int64_t stop_at : {std::int64_t{1}, count.asked() / 2, count.asked()}) {
      AfterTheWalk stop(stop_at);
      CadDrawing stopped;
      EXPECT_EQ(build_cad_drawing(t.grid, params, stopped, stop), PhaseStatus::Stopped)
          << "helper " << helper << " stop at " << stop_at;
      EXPECT_TRUE(stop.stopped()) << "helper " << helper << " stop at " << stop_at;
      EXPECT_EQ(stop.reports_after_stop(), 0) << "helper " << helper << " stop at " << stop_at;
      EXPECT_TRUE(stopped.empty()) << "helper " << helper << " stop at " << stop_at;
    }
  }
  refuse_threads_for_testing(false);
  EXPECT_EQ(testing::live_threads_settled(threads_before), threads_before);
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
