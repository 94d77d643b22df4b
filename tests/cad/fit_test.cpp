#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "cad/fit.h"
#include "cad/segmentation.h"
#include "testkit/splitmix.h"

namespace vp::cad {
namespace {

constexpr double kPi = std::numbers::pi;

// The algebraic circle written out as its normal equations on the points (moved
// to their mean), solved by Cramer's rule: the literal reference for the
// prefix-sum fit.
CircleFit literal_kasa(std::vector<Point> p) {
  Point mean{0, 0};
  for (const Point& q : p)
    mean = {mean.x + q.x / static_cast<double>(p.size()), mean.y + q.y / static_cast<double>(p.size())};
  for (Point& q : p) q = {q.x - mean.x, q.y - mean.y};
  double sxx = 0, sxy = 0, syy = 0, sx = 0, sy = 0, n = 0, sxz = 0, syz = 0, sz = 0;
  for (const Point& q : p) {
    const double z = q.x * q.x + q.y * q.y;
    sxx += q.x * q.x, sxy += q.x * q.y, syy += q.y * q.y, sx += q.x, sy += q.y, n += 1;
    sxz += q.x * z, syz += q.y * z, sz += z;
  }
  const double a[3][3] = {{sxx, sxy, sx}, {sxy, syy, sy}, {sx, sy, n}}, b[3] = {-sxz, -syz, -sz};
  const auto det = [](const double m[3][3]) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  };
  double s[3];
  for (int k = 0; k < 3; ++k) {
    double m[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) m[r][c] = c == k ? b[r] : a[r][c];
    s[k] = det(m) / det(a);
  }
  const Point c{-s[0] / 2, -s[1] / 2};
  return {{c.x + mean.x, c.y + mean.y}, std::sqrt(c.x * c.x + c.y * c.y - s[2])};
}

std::vector<Point> noisy_arc(SplitMix64& rng, Point c, double r, double start, double sweep, double noise) {
  std::vector<Point> p;
  const int n = std::max(8, static_cast<int>(r * sweep));
  for (int i = 0; i <= n; ++i) {
    const double t = start + sweep * i / n, d = r + rng.range(-noise, noise);
    p.push_back({c.x + d * std::cos(t), c.y + d * std::sin(t)});
  }
  return p;
}

TEST(CircleFit, PrefixSumsAgreeWithTheLiteralFitOnAnyStretch) {
  SplitMix64 rng(7);
  for (int trial = 0; trial < 300; ++trial) {
    const Point c{rng.range(-500, 500), rng.range(-500, 500)};
    const std::vector<Point> p =
        noisy_arc(rng, c, rng.range(5, 400), rng.range(0, 2 * kPi), rng.range(0.5, 2 * kPi), 0.4);
    const PixelSums sums(p);
    const std::size_t i = static_cast<std::size_t>(rng.integer(0, static_cast<std::int32_t>(p.size()) / 3));
    const std::size_t j =
        p.size() - 1 - static_cast<std::size_t>(rng.integer(0, static_cast<std::int32_t>(p.size()) / 3));
    const std::vector<Point> stretch(p.begin() + static_cast<std::ptrdiff_t>(i),
                                     p.begin() + static_cast<std::ptrdiff_t>(j) + 1);
    const CircleFit literal = literal_kasa(stretch);
    const std::optional<CircleFit> fast = sums.circle(i, j);
    ASSERT_TRUE(fast);
    const double scale = 1e-6 * (1 + literal.radius);
    EXPECT_NEAR(fast->centre.x, literal.centre.x, scale) << trial;
    EXPECT_NEAR(fast->centre.y, literal.centre.y, scale) << trial;
    EXPECT_NEAR(fast->radius, literal.radius, scale) << trial;
    // The line through the same stretch: its direction is the scatter's main axis.
    const std::optional<LineFit> line = sums.line(i, j);
    const FitResult<LineFit> direct = fit_line(stretch, 1e9);
    ASSERT_TRUE(line && direct);
    EXPECT_NEAR(std::abs(line->direction.x * direct.fit->direction.y - line->direction.y * direct.fit->direction.x), 0,
                1e-9);
  }
}

TEST(CircleFit, FindsDrawnCirclesAndArcsAnywhereWithinTheStrokesNoise) {
  SplitMix64 rng(11);
  for (int trial = 0; trial < 400; ++trial) {
    // Far from the origin too: the sums are shifted before they are taken.
    const double far = trial % 4 == 0 ? 1e5 : 0;
    const Point c{far + rng.range(-2000, 2000), far + rng.range(-2000, 2000)};
    const double r = std::exp(rng.range(std::log(4.0), std::log(3000.0)));
    const double sweep = rng.range(kPi / 2, 2 * kPi), noise = 0.4, tolerance = 1.5;
    const std::vector<Point> p = noisy_arc(rng, c, r, rng.range(-kPi, kPi), sweep, noise);
    const FitResult<CircleFit> fit = fit_circle(p, tolerance, 2, 1e6);
    ASSERT_TRUE(fit) << "trial " << trial << " r " << r;
    // Every point is within the tolerance, by its true distance.
    for (const Point& q : p) EXPECT_LE(distance_to_circle(q, *fit.fit), tolerance);
    // Half a turn or more fixes the circle to a fraction of the noise.
    const double within = sweep >= kPi ? 0.5 : 1.5;
    EXPECT_NEAR(fit.fit->radius, r, within) << trial;
    EXPECT_NEAR(std::hypot(fit.fit->centre.x - c.x, fit.fit->centre.y - c.y), 0, within) << trial;
  }
}

TEST(CircleFit, SaysWhyWhenThereIsNoCircle) {
  const std::vector<Point> two{{0, 0}, {5, 5}};
  const std::vector<Point> straight{{0, 0}, {1, 1}, {2, 2}, {3, 3}, {40, 40}};
  const std::vector<Point> same{{3, 3}, {3, 3}, {3, 3}, {3, 3}};
  const std::vector<Point> bent{{0, 0}, {10, 0}, {20, 0}, {20, 10}, {20, 20}};
  struct Case {
    const std::vector<Point>* points;
    double tolerance;
    FitFailure failure;
  } cases[] = {{&two, 1, FitFailure::TooFewPoints},
               {&straight, 1, FitFailure::Collinear},
               {&same, 1, FitFailure::Collinear},
               {&bent, 0.01, FitFailure::OutOfTolerance},
               {&bent, std::nan(""), FitFailure::OutOfTolerance}};
  for (const Case& c : cases) {
    const FitResult<CircleFit> fit = fit_circle(*c.points, c.tolerance, 1, 1e6);
    EXPECT_FALSE(fit);
    EXPECT_EQ(fit.failure, c.failure);
  }
  EXPECT_FALSE(fit_circle(bent, 1e9, 1, 5));  // the radius out of its range
}

// Pixels of a polygon's outline, or of a circle, one pixel apart.
std::vector<Point> outline(const std::vector<Point>& corners) {
  std::vector<Point> p;
  for (std::size_t k = 0; k < corners.size(); ++k) {
    const Point a = corners[k], b = corners[(k + 1) % corners.size()];
    const int n = static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y)));
    for (int i = 0; i < n; ++i)
      p.push_back({std::round(a.x + (b.x - a.x) * i / n), std::round(a.y + (b.y - a.y) * i / n)});
  }
  return p;
}

TEST(Segmentation, PolygonsStayPolygonsAndRoundsStayRound) {
  SegmentationLimits limits;
  std::vector<Point> hexagon, round;
  for (int k = 0; k < 6; ++k)
    hexagon.push_back({500 + 80 * std::cos(k * kPi / 3 + 0.3), 500 + 80 * std::sin(k * kPi / 3 + 0.3)});
  for (int k = 0; k < 360; ++k)
    round.push_back({500 + 60 * std::cos(k * kPi / 180), 500 + 60 * std::sin(k * kPi / 180)});
  const std::vector<Piece> six = segment_closed(outline(hexagon), limits);
  ASSERT_EQ(six.size(), 7u);  // the start cuts one side in two, which the merging joins
  for (const Piece& p : six) EXPECT_EQ(p.kind, PieceKind::Line);
  const std::vector<Piece> one = segment_closed(outline(round), limits);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].kind, PieceKind::Circle);
  EXPECT_NEAR(one[0].circle.radius, 60, 0.3);
  // A line running into a quarter arc, and an S of two arcs turning opposite ways.
  std::vector<Point> fillet, s_curve;
  for (int x = 0; x < 100; ++x) fillet.push_back({static_cast<double>(x), 0});
  for (int k = 1; k <= 90; ++k)
    fillet.push_back({100 + 50 * std::sin(k * kPi / 180), 50 - 50 * std::cos(k * kPi / 180)});
  for (int k = 0; k <= 180; ++k)
    s_curve.push_back({std::round(40 * std::cos(kPi - k * kPi / 180)), std::round(40 * std::sin(kPi - k * kPi / 180))});
  for (int k = 1; k <= 180; ++k)
    s_curve.push_back(
        {std::round(80 + 40 * std::cos(kPi + k * kPi / 180)), std::round(40 * std::sin(kPi + k * kPi / 180))});
  const std::vector<Piece> two = segment_open(fillet, limits);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].kind, PieceKind::Line);
  EXPECT_EQ(two[1].kind, PieceKind::Arc);
  EXPECT_NEAR(two[1].circle.radius, 50, 1);
  const std::vector<Piece> s = segment_open(s_curve, limits);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_NE(s[0].ccw, s[1].ccw);
}

}  // namespace
}  // namespace vp::cad
