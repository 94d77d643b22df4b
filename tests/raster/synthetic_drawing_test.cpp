// The synthetic drawings that feed the round-trip tests and the benchmark.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "testkit/synthetic_drawing.h"

namespace vp {
namespace {

bool bits_past_width_are_zero(const InkImage& img) {
  if (img.width % 64 == 0) return true;
  const std::uint64_t unused = ~std::uint64_t{0} << (img.width % 64);
  for (std::int32_t r = 0; r < img.height; ++r)
    if (img.row(r).back() & unused) return false;
  return true;
}

// Share of ink pixels whose four neighbours are all ink: near zero for hairlines,
// large for thick strokes.
double interior_share(const InkImage& img) {
  std::size_t ink = 0, interior = 0;
  for (std::int32_t y = 0; y < img.height; ++y)
    for (std::int32_t x = 0; x < img.width; ++x) {
      if (!img.get(x, y)) continue;
      ++ink;
      if (img.get(x - 1, y) && img.get(x + 1, y) && img.get(x, y - 1) && img.get(x, y + 1)) ++interior;
    }
  return ink ? static_cast<double>(interior) / static_cast<double>(ink) : 0.0;
}

TEST(SyntheticDrawing, SameSeedGivesSameBitsOtherSeedOtherBits) {
  struct Size {
    std::int32_t w, h;
  };
  const Size sizes[] = {{1, 1}, {7, 3}, {64, 64}, {65, 200}, {300, 300}, {827, 1169}};
  for (const Size& s : sizes) {
    SCOPED_TRACE(std::to_string(s.w) + " x " + std::to_string(s.h));
    for (std::uint32_t seed : {0u, 1u, 99u}) {
      const InkImage a = generate_drawing(s.w, s.h, seed);
      EXPECT_EQ(a, generate_drawing(s.w, s.h, seed));
      EXPECT_EQ(a.words_per_row, (static_cast<std::size_t>(s.w) + 63) / 64);
      EXPECT_EQ(a.bits.size(), a.words_per_row * static_cast<std::size_t>(s.h));
      EXPECT_TRUE(bits_past_width_are_zero(a));
      EXPECT_GT(a.ink_count(), 0u);
      if (s.w * s.h >= 64 * 64) {
        EXPECT_NE(a, generate_drawing(s.w, s.h, seed + 1));
      }
      EXPECT_EQ(random_image(s.w, s.h, seed, 0.3), random_image(s.w, s.h, seed, 0.3));
    }
  }
}

TEST(SyntheticDrawing, CoverageReachesTheTargetWithoutOvershootingMuch) {
  struct Case {
    std::int32_t w, h;
    double target;
  };
  const Case cases[] = {
      {300, 300, 0.05}, {827, 1169, 0.02}, {827, 1169, 0.05}, {827, 1169, 0.10}, {2000, 1400, 0.04}, {1169, 827, 0.08},
  };
  for (const Case& c : cases) {
    for (std::uint32_t seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " at " + std::to_string(c.target) + ", seed " +
                   std::to_string(seed));
      DrawingOptions o;
      o.coverage = c.target;
      const double got = generate_drawing(c.w, c.h, seed, o).coverage();
      EXPECT_GE(got, c.target);
      EXPECT_LE(got, c.target * 1.2);
    }
  }
}

TEST(SyntheticDrawing, EachKindOfElementDrawsAloneAndNoneDrawsNothing) {
  struct Case {
    const char* name;
    bool DrawingOptions::*kind;
  };
  const Case kinds[] = {
      {"frame", &DrawingOptions::frame},       {"lines", &DrawingOptions::lines},
      {"arcs", &DrawingOptions::arcs},         {"rectangles", &DrawingOptions::rectangles},
      {"hatching", &DrawingOptions::hatching}, {"text", &DrawingOptions::text},
  };
  DrawingOptions none;
  for (const Case& k : kinds) none.*k.kind = false;
  // Large enough for the border, which is left out where it would swamp the drawing.
  EXPECT_EQ(generate_drawing(1200, 900, 3, none).ink_count(), 0u);
  for (const Case& k : kinds) {
    SCOPED_TRACE(k.name);
    DrawingOptions only = none;
    only.*k.kind = true;
    const InkImage img = generate_drawing(1200, 900, 3, only);
    EXPECT_GT(img.coverage(), 0.005);
    EXPECT_TRUE(bits_past_width_are_zero(img));
  }
}

TEST(SyntheticDrawing, StrokeThicknessFollowsTheRange) {
  DrawingOptions thin;
  thin.min_thickness = thin.max_thickness = 1;
  thin.text = false;  // lettering is thin whatever the range
  DrawingOptions thick = thin;
  thick.min_thickness = 5;
  thick.max_thickness = 7;
  for (PenShape pen : {PenShape::Round, PenShape::Square, PenShape::Mixed}) {
    SCOPED_TRACE(static_cast<int>(pen));
    thin.pen = thick.pen = pen;
    EXPECT_LT(interior_share(generate_drawing(600, 500, 5, thin)), 0.15);
    EXPECT_GT(interior_share(generate_drawing(600, 500, 5, thick)), 0.35);
  }
}

TEST(SyntheticDrawing, SaltNoiseAddsIsolatedSpecks) {
  DrawingOptions clean;
  DrawingOptions noisy;
  noisy.salt_noise = 0.001;
  const InkImage a = generate_drawing(827, 1169, 11, clean);
  const InkImage b = generate_drawing(827, 1169, 11, noisy);
  const double specks = 0.001 * 827 * 1169;
  const double added = static_cast<double>(b.ink_count()) - static_cast<double>(a.ink_count());
  EXPECT_LE(added, specks);
  EXPECT_GE(added, specks * 0.85);  // some land on ink or on each other
  for (std::size_t k = 0; k < a.bits.size(); ++k) ASSERT_EQ(a.bits[k] & ~b.bits[k], 0u) << "noise removed ink";
}

TEST(SyntheticDrawing, RandomImageDensity) {
  const std::pair<double, double> cases[] = {{0.0, 0.0}, {1.0, 1.0}, {0.25, 0.25}, {0.7, 0.7}, {-3.0, 0.0}, {5.0, 1.0}};
  for (const auto& [density, expected] : cases) {
    SCOPED_TRACE(density);
    const InkImage img = random_image(301, 257, 8, density);
    EXPECT_NEAR(img.coverage(), expected, 0.01);
    EXPECT_TRUE(bits_past_width_are_zero(img));
  }
}

// fill_span works a word at a time; set() is the literal pixel-by-pixel rule.
TEST(SyntheticDrawing, FillSpanMatchesPixelByPixel) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 2000; ++trial) {
    const std::int32_t w = 1 + static_cast<std::int32_t>(rng() % 200);
    const std::int32_t h = 1 + static_cast<std::int32_t>(rng() % 3);
    InkImage fast(w, h), literal(w, h);
    for (int k = 0; k < 4; ++k) {
      const std::int32_t y = static_cast<std::int32_t>(rng() % (h + 2)) - 1;
      const std::int32_t x0 = static_cast<std::int32_t>(rng() % (w + 20)) - 10;
      const std::int32_t x1 = x0 + static_cast<std::int32_t>(rng() % (w + 10)) - 3;
      fast.fill_span(y, x0, x1);
      for (std::int32_t x = x0; x <= x1; ++x) literal.set(x, y);
    }
    ASSERT_EQ(fast, literal) << "trial " << trial;
  }
}

}  // namespace
}  // namespace vp
