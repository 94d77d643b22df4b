#include "raster/pixel_grid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vp {
namespace {

TEST(PixelGrid, ImageRowsLandWithYGrowingUpwardsInsideABackgroundBorder) {
  PixelGrid grid;
  ASSERT_TRUE(grid.reset(3, 2));
  EXPECT_EQ(grid.width(), 5);
  EXPECT_EQ(grid.height(), 4);
  const std::vector<std::uint64_t> top = {0b111}, bottom = {0b001};
  grid.set_image_row(0, top);
  grid.set_image_row(1, bottom);
  EXPECT_EQ(grid.at(1, 2), kInk);  // top-left pixel
  EXPECT_EQ(grid.at(1, 1), kInk);  // bottom-left pixel
  EXPECT_EQ(grid.at(2, 1), kBackground);
  EXPECT_EQ(grid.at(3, 2), kInk);
  for (std::int32_t x = 0; x < 5; ++x)
    for (std::int32_t y = 0; y < 4; ++y)
      if (x == 0 || x == 4 || y == 0 || y == 3) {
        EXPECT_EQ(grid.at(x, y), kBackground) << x << "," << y;
      }
}

TEST(PixelGrid, BitsBeyondTheWidthNeverReachTheBorder) {
  for (std::int32_t width : {1, 62, 63, 64, 65, 126, 127, 128}) {
    PixelGrid grid;
    ASSERT_TRUE(grid.reset(width, 1));
    const std::vector<std::uint64_t> all(3, ~std::uint64_t{0});
    grid.set_image_row(0, all);
    for (std::int32_t x = 0; x < grid.width(); ++x)
      EXPECT_EQ(grid.at(x, 1), x >= 1 && x <= width ? kInk : kBackground) << width << " " << x;
    // The planes themselves hold nothing at or past the right border either.
    for (std::size_t x = static_cast<std::size_t>(width) + 1; x < grid.words_per_row() * 64; ++x)
      EXPECT_EQ((grid.ink_row(1)[x / 64] >> (x % 64)) & 1, 0u) << width << " " << x;
  }
}

TEST(PixelGrid, ASmallerImageAfterALargerOneStartsClean) {
  PixelGrid grid;
  ASSERT_TRUE(grid.reset(100, 50));
  for (std::int32_t x = 1; x <= 100; ++x)
    for (std::int32_t y = 1; y <= 50; ++y) grid.set(x, y, kProtected);
  ASSERT_TRUE(grid.reset(10, 5));
  for (std::int32_t x = -1; x <= 12; ++x)
    for (std::int32_t y = -1; y <= 7; ++y) EXPECT_EQ(grid.at(x, y), kBackground);
}

TEST(PixelGrid, SizesThatCannotBeRepresentedAreRefused) {
  PixelGrid grid;
  EXPECT_FALSE(grid.reset(0, 5));
  EXPECT_FALSE(grid.reset(5, -1));
  EXPECT_FALSE(grid.reset(INT32_MAX, 1));
  EXPECT_EQ(PixelGrid::bytes_needed(INT32_MAX - 1, 1), 0u);
  EXPECT_GT(PixelGrid::bytes_needed(INT32_MAX - 2, 1), 0u);
  EXPECT_EQ(grid.width(), 0);
}

// Handing the protected plane back unprotects every cell and keeps every ink cell.
TEST(PixelGrid, ARenewedProtectedPlaneKeepsTheInk) {
  struct Case {
    std::int32_t width, height;
  };
  for (const Case c : {Case{1, 1}, Case{62, 3}, Case{63, 2}, Case{64, 5}, Case{130, 4}}) {
    PixelGrid grid;
    ASSERT_TRUE(grid.reset(c.width, c.height));
    std::vector<std::uint8_t> before;
    for (std::int32_t y = 1; y <= c.height; ++y)
      for (std::int32_t x = 1; x <= c.width; ++x) {
        const auto code = static_cast<std::uint8_t>((x * 7 + y * 3) % 3);
        grid.set(x, y, code);
        before.push_back(code);
      }
    ASSERT_TRUE(grid.renew_protected_plane());
    std::size_t i = 0;
    for (std::int32_t y = 1; y <= c.height; ++y)
      for (std::int32_t x = 1; x <= c.width; ++x, ++i)
        EXPECT_EQ(grid.at(x, y), before[i] == kBackground ? kBackground : kInk) << c.width << " " << x << "," << y;
  }
}

}  // namespace
}  // namespace vp

#include "raster/memory_budget.h"

namespace vp {
namespace {

TEST(PixelGrid, AGridTheSystemCannotHoldIsRefusedBeforeItIsAllocated) {
  const std::size_t needed = PixelGrid::bytes_needed(4000, 3000);
  PixelGrid grid;
  set_available_memory_for_testing(needed);  // room for the grid, not for its working copy
  EXPECT_FALSE(grid.reset(4000, 3000));
  EXPECT_EQ(grid.width(), 0);
  set_available_memory_for_testing(needed * 2);
  EXPECT_TRUE(grid.reset(4000, 3000));
  set_available_memory_for_testing(std::nullopt);
  const auto available = available_memory_bytes();
  ASSERT_TRUE(available.has_value());  // /proc/meminfo is there on every machine this runs on
  EXPECT_GT(*available, 0u);
}

}  // namespace
}  // namespace vp

namespace vp {
namespace {

// Widths whose grid width + 63 no longer fits an int: the rows must still be
// sized in whole words and the last image pixel must land beside the right border.
TEST(PixelGrid, TheWidestImagesKeepTheirRowArithmetic) {
  set_available_memory_for_testing(std::uint64_t{1} << 40);  // calloc leaves the pages untouched
  for (const std::int32_t width : {INT32_MAX - 64, INT32_MAX - 62, INT32_MAX - 3, INT32_MAX - 2}) {
    PixelGrid grid;
    ASSERT_TRUE(grid.reset(width, 1)) << width;
    const std::uint64_t cells = std::uint64_t{static_cast<std::uint32_t>(width)} + 2;
    EXPECT_EQ(grid.words_per_row(), (cells + 63) / 64) << width;
    std::vector<std::uint64_t> row((static_cast<std::size_t>(width) + 63) / 64, 0);
    row.back() = std::uint64_t{1} << ((width - 1) % 64);  // the last pixel only
    grid.set_image_row(0, row);
    EXPECT_EQ(grid.at(width, 1), kInk) << width;
    EXPECT_EQ(grid.at(width + 1, 1), kBackground) << width;
  }
  set_available_memory_for_testing(std::nullopt);
}

}  // namespace
}  // namespace vp
