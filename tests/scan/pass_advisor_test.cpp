#include "scan/pass_advisor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "raster/thinning.h"
#include "support/grid_builders.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

using testing::Cell;
using testing::grid_with_cells;

PixelGrid grid_from_image(const InkImage& image, int passes = 0) {
  PixelGrid grid;
  EXPECT_TRUE(grid.reset(image.width, image.height));
  for (std::int32_t r = 0; r < image.height; ++r) grid.set_image_row(r, image.row(r));
  NoProgress quiet;
  if (passes > 0) run_thinning(grid, passes, quiet);
  return grid;
}

void add_rect(std::vector<Cell>& cells, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  for (std::int32_t x = x0; x <= x1; ++x)
    for (std::int32_t y = y0; y <= y1; ++y) cells.emplace_back(x, y);
}

// The measurement as described, one cell at a time: the row and the column
// through every ink cell of the measured rows, the width of the straight stroke
// those two runs imply, the median of the widths.
StrokeThickness literal_thickness(const PixelGrid& grid, std::int32_t row_step) {
  auto ink = [&](std::int32_t x, std::int32_t y) { return grid.at(x, y) != kBackground; };
  auto run = [&](std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy) {
    std::int32_t n = 1;
    for (std::int32_t a = x - dx, b = y - dy; ink(a, b); a -= dx, b -= dy) ++n;
    for (std::int32_t a = x + dx, b = y + dy; ink(a, b); a += dx, b += dy) ++n;
    return std::min(n, kAdvisorRunCap);
  };
  std::vector<long> bins;
  for (std::int32_t y = 1; y < grid.height() - 1; y += row_step) {
    for (std::int32_t x = 1; x < grid.width() - 1; ++x) {
      if (!ink(x, y)) continue;
      const double h = run(x, y, 1, 0), v = run(x, y, 0, 1);
      bins.push_back(std::lround(h * v / std::hypot(h, v) * kAdvisorBinsPerCell));
    }
  }
  StrokeThickness result{0, static_cast<std::int64_t>(bins.size()), row_step};
  std::sort(bins.begin(), bins.end());
  if (!bins.empty()) result.typical = static_cast<double>(bins[(bins.size() + 1) / 2 - 1]) / kAdvisorBinsPerCell;
  return result;
}

// Share of the ink cells that belong to some 2 x 2 block of ink: about 1 while
// strokes are two or more cells wide, 0 for one-cell strokes that cross nothing.
double block_share(const PixelGrid& g) {
  auto block = [&](std::int32_t x, std::int32_t y) {
    return g.at(x, y) && g.at(x + 1, y) && g.at(x, y + 1) && g.at(x + 1, y + 1);
  };
  std::int64_t ink = 0, in_block = 0;
  for (std::int32_t y = 0; y < g.height(); ++y)
    for (std::int32_t x = 0; x < g.width(); ++x)
      if (g.at(x, y)) {
        ++ink;
        in_block += block(x, y) || block(x - 1, y) || block(x, y - 1) || block(x - 1, y - 1);
      }
  return ink == 0 ? 0.0 : static_cast<double>(in_block) / static_cast<double>(ink);
}

// Round-pen bars 60 long at 24 angles 7.5 degrees apart from `first_angle`:
// pixel centres within width / 2 of the bar's axis.
InkImage bars_at_all_angles(double width, double first_angle) {
  InkImage image(900, 700);
  const double half = width / 2, reach = 30, shift = first_angle / 5;
  for (int k = 0; k < 24; ++k) {
    const double a = (first_angle + 7.5 * k) * std::numbers::pi / 180;
    const double cx = 60 + (k % 6) * 156.0 + shift, cy = 60 + (k / 6) * 193.0 + shift;
    const double ax = cx - reach * std::cos(a), ay = cy - reach * std::sin(a);
    const double dx = 2 * reach * std::cos(a), dy = 2 * reach * std::sin(a);
    for (auto y = static_cast<std::int32_t>(cy - reach - half - 1); y <= cy + reach + half + 1; ++y)
      for (auto x = static_cast<std::int32_t>(cx - reach - half - 1); x <= cx + reach + half + 1; ++x) {
        const double u = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        if (std::hypot(ax + u * dx - x, ay + u * dy - y) <= half) image.set(x, y);
      }
  }
  return image;
}

TEST(PassAdvisor, WidthOfSimpleShapes) {
  struct Case {
    std::string name;
    std::vector<Cell> cells;
    double width;  // within half a bin
  };
  std::vector<Case> cases = {{"no ink", {}, 0}, {"a single cell: h = v = 1", {{10, 10}}, 1 / std::numbers::sqrt2}};
  for (const std::int32_t t : {1, 2, 5, 12}) {
    Case horizontal{"horizontal bar, " + std::to_string(t), {}, 300.0 * t / std::hypot(300.0, t)};
    add_rect(horizontal.cells, 5, 20, 304, 19 + t);
    Case vertical{"vertical bar, " + std::to_string(t), {}, horizontal.width};
    add_rect(vertical.cells, 20, 5, 19 + t, 304);
    cases.push_back(horizontal);
    cases.push_back(vertical);
  }
  // A 45-degree band: rows of 8 cells, columns of 8 but at its square-cut ends.
  Case band{"diagonal band", {}, 8 / std::numbers::sqrt2};
  for (std::int32_t y = 30; y < 230; ++y)
    for (std::int32_t x = y; x < y + 8; ++x) band.cells.emplace_back(x, y);
  cases.push_back(band);
  // The median, not the mean: 6000 cells in 3-wide bars, 3800 in an 11-wide bar
  // and a blot, which pull the mean above 10.
  Case mixed{"mostly thin strokes, a thick one and a blot", {}, 400.0 * 3 / std::hypot(400.0, 3)};
  for (const std::int32_t y : {10, 30, 50, 150, 170}) add_rect(mixed.cells, 5, y, 404, y + 2);
  add_rect(mixed.cells, 5, 70, 204, 80);
  add_rect(mixed.cells, 300, 100, 339, 139);
  cases.push_back(mixed);
  for (const Case& c : cases) {
    const StrokeThickness got = measure_stroke_thickness(grid_with_cells(450, 320, c.cells));
    EXPECT_NEAR(got.typical, c.width, 0.5 / kAdvisorBinsPerCell) << c.name;
    EXPECT_EQ(got.measured, static_cast<std::int64_t>(c.cells.size())) << c.name;
  }
  // Widths to passes: floor(round(width) / 2), within 1..100.
  const std::vector<std::pair<double, std::int32_t>> passes = {
      {0, 1}, {std::nan(""), 1}, {0.7, 1}, {2, 1},  {3.49, 1},   {3.5, 2},     {4, 2},
      {5, 2}, {5.5, 3},          {12, 6},  {13, 6}, {199.4, 99}, {199.5, 100}, {1e300, 100}};
  for (const auto& [width, count] : passes) EXPECT_EQ(passes_for_width(width), count) << "width " << width;
}

// The word-wide measurement against the literal one: runs across word
// boundaries, beyond the run cap, and a grid large enough to be sampled.
TEST(PassAdvisor, MatchesLiteralMeasurement) {
  std::mt19937 rng(20240611);
  std::vector<std::pair<PixelGrid, std::int32_t>> grids;  // and the expected row step
  for (const std::int32_t w : {1, 63, 64, 65, 130, 257})
    for (const double density : {0.05, 0.4, 0.75, 0.97})
      grids.emplace_back(testing::random_grid(w, 97, density, 0.2, rng), 1);
  for (const int t : {1, 4, 9}) {
    DrawingOptions options;
    options.min_thickness = options.max_thickness = t;
    grids.emplace_back(grid_from_image(generate_drawing(700, 500, 5, options)), 1);
  }
  std::vector<Cell> long_runs;
  add_rect(long_runs, 3, 10, 1202, 12);   // 1200 x 3
  add_rect(long_runs, 70, 20, 74, 1220);  // 5 x 1201
  add_rect(long_runs, 76, 600, 90, 603);  // short runs in the same words
  grids.emplace_back(grid_with_cells(1250, 1240, long_runs), 1);
  std::vector<Cell> sparse;  // more cells than the sample budget: every second row
  add_rect(sparse, 100, 100, 399, 106);
  add_rect(sparse, 2000, 200, 2010, 499);
  add_rect(sparse, 3000, 3001, 3040, 3040);
  grids.emplace_back(grid_with_cells(4100, 4100, sparse), 2);
  for (std::size_t i = 0; i < grids.size(); ++i) {
    const StrokeThickness fast = measure_stroke_thickness(grids[i].first);
    const StrokeThickness literal = literal_thickness(grids[i].first, grids[i].second);
    EXPECT_EQ(fast.row_step, literal.row_step) << "grid " << i;
    EXPECT_EQ(fast.measured, literal.measured) << "grid " << i;
    EXPECT_EQ(fast.typical, literal.typical) << "grid " << i;
  }
}

// The suggested count against the real thinning, for strokes 1 to 12 cells wide.
// Bars alone cross nothing, so there "one cell wide" is exact: no 2 x 2 block
// of ink is left, and one pass fewer leaves some (in the bars nearest the rows
// and columns, which thin slowest). In a drawing, crossings, acute junctions and
// strokes that happen to overlap stay thick for several passes more, so the
// measure is the typical ink cell: less than half of the ink in 2 x 2 blocks
// after the suggested count, more than half after one fewer. Generated drawings
// stay well clear of that line (at most 0.41 after, at least 0.71 before).
TEST(PassAdvisor, SuggestedCountThinsTheTypicalStroke) {
  for (int t = 1; t <= 12; ++t) {
    struct Image {
      std::string name;
      InkImage image;
      double most_after, least_before;
    };
    DrawingOptions options;
    options.min_thickness = options.max_thickness = t;
    const std::vector<Image> images = {
        {"drawing 1", generate_drawing(1000, 800, 1, options), 0.5, 0.5},
        {"drawing 2", generate_drawing(1000, 800, 2, options), 0.5, 0.5},
        {"bars", bars_at_all_angles(t, 0), 0, 0.05},
        {"bars turned 1.7 degrees", bars_at_all_angles(t, 1.7), 0, 0.05},
    };
    for (const Image& i : images) {
      SCOPED_TRACE(::testing::Message() << i.name << ", strokes " << t << " cells wide");
      const PassAdvice advice = advise_passes(grid_from_image(i.image));
      EXPECT_LE(block_share(grid_from_image(i.image, advice.passes)), i.most_after) << advice.passes << " passes";
      // For strokes of 2 or 3 cells one pass fewer is the image as scanned; one
      // cell is what a single pass, the least, leaves.
      if (t >= 2) {
        EXPECT_GT(block_share(grid_from_image(i.image, advice.passes - 1)), i.least_before);
      }
    }
  }
}

// From a file, through a reader, as a conversion loads it.
TEST(PassAdvisor, FromFile) {
  const std::filesystem::path bmp = std::filesystem::temp_directory_path() / "vp_pass_advisor_test.bmp";
  DrawingOptions options;
  options.min_thickness = options.max_thickness = 7;
  const InkImage image = generate_drawing(400, 300, 3, options);
  ASSERT_TRUE(write_bmp_file(bmp.string(), image, {}));
  const AdvisorFileResult read = advise_passes_for_file(bmp.string(), bmp_only_reader_factory());
  std::filesystem::remove(bmp);
  const PassAdvice direct = advise_passes(grid_from_image(image));
  EXPECT_EQ(read.outcome, AdvisorLoad::Ok);
  EXPECT_EQ(read.advice.passes, direct.passes);
  EXPECT_EQ(read.advice.thickness.measured, direct.thickness.measured);

  class SizedReader : public ImageReader {
   public:
    SizedReader(ImageStatus status, std::int32_t side) : status_(status) { info_.width = info_.height = side; }
    ImageStatus open(const std::string&) override { return status_; }
    const ImageInfo& info() const override { return info_; }
    ImageStatus read_rows(const InkRowSink&) override { return ImageStatus::Ok; }

   private:
    ImageStatus status_;
    ImageInfo info_;
  };
  auto reader = [](ImageStatus status, std::int32_t side) -> ImageReaderFactory {
    return [=](const std::string&) { return std::make_unique<SizedReader>(status, side); };
  };
  const std::int32_t huge = std::numeric_limits<std::int32_t>::max() - 2;
  EXPECT_EQ(advise_passes_for_file(bmp.string(), bmp_only_reader_factory()).outcome, AdvisorLoad::Unreadable);
  EXPECT_EQ(advise_passes_for_file("x", {}).outcome, AdvisorLoad::Unreadable);
  EXPECT_EQ(advise_passes_for_file("x", reader(ImageStatus::Unsupported, 4)).outcome, AdvisorLoad::Unsupported);
  EXPECT_EQ(advise_passes_for_file("x", reader(ImageStatus::Ok, huge)).outcome, AdvisorLoad::OutOfMemory);
  EXPECT_EQ(advise_passes_for_file("x", reader(ImageStatus::Ok, 4)).advice.thickness.measured, 0);
}

}  // namespace
}  // namespace vp
