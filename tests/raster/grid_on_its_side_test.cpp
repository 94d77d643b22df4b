// A grid stored on its side must convert exactly as the same grid stored upright:
// the literal scans, which read cells through at(), are the reference.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "export/pbm_writer.h"
#include "raster/pixel_grid.h"
#include "raster/thinning.h"
#include "scan/dust_removal.h"
#include "scan/pass_advisor.h"
#include "support/grid_builders.h"
#include "support/reference_conversion.h"
#include "vector/run_tracer.h"

namespace vp {
namespace {

// The cells of `upright`, stored on its side.
PixelGrid on_its_side(const PixelGrid& upright) {
  PixelGrid side;
  EXPECT_TRUE(side.reset(upright.width() - 2, upright.height() - 2, GridLayout::OnItsSide));
  for (std::int32_t x = 0; x < upright.width(); ++x)
    for (std::int32_t y = 0; y < upright.height(); ++y) side.set(x, y, upright.at(x, y));
  return side;
}

// Narrow grids, some taller than a block of 64 rows, up to the widest that may lie on its side.
PixelGrid random_narrow_grid(std::mt19937& rng, double protected_share) {
  const int w = 1 + static_cast<int>(rng() % (PixelGrid::kWidestOnItsSide - 2));
  const int h = 1 + static_cast<int>(rng() % 150);
  const double density = std::uniform_real_distribution<double>(0.1, 0.9)(rng);
  return testing::random_grid(w, h, density, protected_share, rng);
}

TEST(GridOnItsSide, ThinsAndTracesAsTheLiteralScans) {
  std::mt19937 rng(20261208);
  using FastStep = void (*)(PixelGrid&, PhaseMeter&, ThinningOptions&);
  using RefStep = void (*)(reference::ByteGrid&);
  const std::vector<std::pair<FastStep, RefStep>> steps = {
      {SetOKdata, reference::SetOKdata},   {SetBevelX1, reference::SetBevelX1}, {SetBevelX2, reference::SetBevelX2},
      {SetBevelY1, reference::SetBevelY1}, {SetBevelY2, reference::SetBevelY2}, {BlueToBlack, reference::BlueToBlack},
  };
  for (int trial = 0; trial < 1200; ++trial) {
    const auto& [fast, literal] = steps[static_cast<std::size_t>(trial) % steps.size()];
    PixelGrid grid = on_its_side(random_narrow_grid(rng, 0.3));
    reference::ByteGrid expected = reference::ByteGrid::from(grid);
    literal(expected);
    reference::ClearBevel(expected);
    testing::CountingProgress counter;
    PhaseMeter meter(counter, Phase::Thin, 0);
    ThinningOptions options;
    fast(grid, meter, options);
    ASSERT_TRUE(reference::ByteGrid::from(grid) == expected) << "step trial " << trial;
  }
  for (int trial = 0; trial < 600; ++trial) {
    PixelGrid grid = on_its_side(random_narrow_grid(rng, 0.0));
    const int passes = 1 + static_cast<int>(rng() % 4);
    reference::ByteGrid expected = reference::ByteGrid::from(grid);
    reference::thin(expected, passes);
    testing::CountingProgress thinning;
    ASSERT_EQ(run_thinning(grid, passes, thinning), PhaseStatus::Finished);
    ASSERT_TRUE(reference::ByteGrid::from(grid) == expected) << "pass trial " << trial;
    EXPECT_EQ(thinning.units, thinning_work_total(grid.width(), grid.height(), passes));

    LineData lines;
    ASSERT_TRUE(lines.reset_storage());
    testing::CountingProgress tracing;
    ASSERT_EQ(run_tracing(grid, lines, tracing), PhaseStatus::Finished);
    const std::vector<LineRecord> traced(lines.records().begin(), lines.records().end());
    ASSERT_EQ(traced, reference::trace(expected)) << "trace trial " << trial;
    EXPECT_EQ(tracing.units, tracing_work_total(grid.width(), grid.height()));
  }
}

std::string pbm_of(const PixelGrid& grid, const std::filesystem::path& path) {
  EXPECT_FALSE(write_grid_pbm(path, grid, {}));
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Rows read in as the readers hand them, some of them twice; strokes measured;
// specks removed; the ink written out as an image: all as upright.
TEST(GridOnItsSide, ReadsCleansAndWritesAsUpright) {
  std::mt19937 rng(8);
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("vp_side_" + std::to_string(std::random_device{}()) + ".pbm");
  for (int trial = 0; trial < 200; ++trial) {
    PixelGrid upright = random_narrow_grid(rng, 0.0);
    const std::int32_t w = upright.width() - 2, h = upright.height() - 2;
    PixelGrid side;
    ASSERT_TRUE(side.reset(w, h, GridLayout::OnItsSide));
    for (std::int32_t r = 0; r < h; ++r) {
      std::uint64_t row = 0, noise = rng();
      for (std::int32_t c = 0; c < w; ++c) row |= std::uint64_t{upright.at(c + 1, h - r) != kBackground} << c;
      if (r % 3 == 0) side.set_image_row(r, {&noise, 1});  // overwritten by the row itself
      side.set_image_row(r, {&row, 1});
    }
    ASSERT_TRUE(reference::ByteGrid::from(side) == reference::ByteGrid::from(upright)) << "trial " << trial;
    const StrokeThickness side_strokes = measure_stroke_thickness(side);
    const StrokeThickness upright_strokes = measure_stroke_thickness(upright);
    EXPECT_EQ(side_strokes.measured, upright_strokes.measured) << "trial " << trial;
    EXPECT_EQ(side_strokes.typical, upright_strokes.typical) << "trial " << trial;
    const std::int32_t speck = 1 + static_cast<std::int32_t>(rng() % 12);
    EXPECT_EQ(scan::remove_specks(side, speck, {}), scan::remove_specks(upright, speck, {}));
    ASSERT_TRUE(reference::ByteGrid::from(side) == reference::ByteGrid::from(upright)) << "specks, trial " << trial;
    EXPECT_EQ(pbm_of(side, path), pbm_of(upright, path)) << "trial " << trial;
  }
  std::filesystem::remove(path);
}

TEST(GridOnItsSide, OnlyVeryNarrowTallSheetsLieOnTheirSide) {
  struct Case {
    std::int64_t width, height;
    GridLayout layout;
  };
  for (const Case& c : {Case{1, 50'000'000, GridLayout::OnItsSide}, Case{30, (1 << 20) + 1, GridLayout::OnItsSide},
                        Case{31, 50'000'000, GridLayout::Upright}, Case{30, 1 << 20, GridLayout::Upright},
                        Case{13244, 9362, GridLayout::Upright}, Case{50'000'000, 1, GridLayout::Upright}})
    EXPECT_EQ(PixelGrid::layout_for(c.width, c.height), c.layout) << c.width << " x " << c.height;
  // A word per stored row of 64 rows, against a word per row.
  EXPECT_LT(PixelGrid::bytes_needed(1, 50'000'000, GridLayout::OnItsSide) * 8,
            PixelGrid::bytes_needed(1, 50'000'000, GridLayout::Upright));
  EXPECT_EQ(PixelGrid::bytes_needed(PixelGrid::kWidestOnItsSide - 1, 100, GridLayout::OnItsSide), 0u);
}

}  // namespace
}  // namespace vp
