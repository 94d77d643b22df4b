#include "vector/chain_straightness.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vp {
namespace {

struct Line {
  float a, b, c;
};

// Slope, intercept and perpendicular slope of the line through two points that
// differ in both coordinates, each rounded to float as soon as it is computed.
Line line_through(GridPoint first, GridPoint last) {
  const double dy = static_cast<double>(last.y) - static_cast<double>(first.y);
  const double dx = static_cast<double>(last.x) - static_cast<double>(first.x);
  const float a = static_cast<float>(dy / dx);
  const float b = static_cast<float>(static_cast<double>(first.y) - static_cast<double>(a) * first.x);
  const float c = static_cast<float>(-1.0 / static_cast<double>(a));
  return {a, b, c};
}

// The measured distance of one inner point from the line, as a float.
float measured_distance(GridPoint p, const Line& line) {
  const double x = p.x, y = p.y;
  const float t = static_cast<float>(y - static_cast<double>(line.c) * x);
  const float u = static_cast<float>((static_cast<double>(t) - static_cast<double>(line.b)) /
                                     (static_cast<double>(line.a) - static_cast<double>(line.c)));
  const float v = static_cast<float>(static_cast<double>(line.a) * u + static_cast<double>(line.b));
  const double ex = x - static_cast<double>(u);
  const double ey = y - static_cast<double>(v);
  return static_cast<float>(std::sqrt(ex * ex + ey * ey));
}

bool any_too_far(std::span<const GridPoint> inner, const Line& line, float tolerance) {
  for (const GridPoint& p : inner)
    if (measured_distance(p, line) > tolerance) return true;
  return false;
}

std::int64_t cross(GridPoint o, GridPoint p, GridPoint q) {
  return (static_cast<std::int64_t>(p.x) - o.x) * (static_cast<std::int64_t>(q.y) - o.y) -
         (static_cast<std::int64_t>(p.y) - o.y) * (static_cast<std::int64_t>(q.x) - o.x);
}

// Above this coordinate span the hull's cross products could leave 64 bits.
constexpr std::int64_t kHullSpan = std::int64_t{1} << 30;

}  // namespace

bool chain_bent_measuring_every_point(std::span<const GridPoint> chain, float tolerance) {
  const std::size_t n = chain.size();
  if (n < 3) return false;
  const GridPoint first = chain.front(), last = chain.back();
  const std::span<const GridPoint> inner = chain.subspan(1, n - 2);
  if (last.x == first.x) {
    for (const GridPoint& p : inner)
      if (std::fabs(static_cast<double>(p.x) - static_cast<double>(first.x)) > tolerance) return true;
    return false;
  }
  if (last.y == first.y) {
    for (const GridPoint& p : inner)
      if (std::fabs(static_cast<double>(p.y) - static_cast<double>(first.y)) > tolerance) return true;
    return false;
  }
  return any_too_far(inner, line_through(first, last), tolerance);
}

void ChainStraightness::restart() {
  folded_ = 0;
  hull_usable_ = true;
  hull_.clear();
}

void ChainStraightness::fold(GridPoint p) {
  if (folded_ == 0) {
    min_x_ = max_x_ = p.x;
    min_y_ = max_y_ = p.y;
  } else {
    min_x_ = std::min(min_x_, p.x), max_x_ = std::max(max_x_, p.x);
    min_y_ = std::min(min_y_, p.y), max_y_ = std::max(max_y_, p.y);
  }
  if (!hull_usable_) return;
  if (static_cast<std::int64_t>(max_x_) - min_x_ > kHullSpan ||
      static_cast<std::int64_t>(max_y_) - min_y_ > kHullSpan) {
    hull_usable_ = false;
    hull_.clear();
    return;
  }
  if (hull_.size() >= 3) {
    bool inside = true;
    for (std::size_t i = 0; i < hull_.size() && inside; ++i)
      inside = cross(hull_[i], hull_[(i + 1) % hull_.size()], p) >= 0;
    if (inside) return;  // on or inside the hull: no extreme changes
  }
  // Monotone chain over the old vertices and the new point.
  scratch_.assign(hull_.begin(), hull_.end());
  scratch_.push_back(p);
  std::sort(scratch_.begin(), scratch_.end(),
            [](GridPoint l, GridPoint r) { return l.x != r.x ? l.x < r.x : l.y < r.y; });
  scratch_.erase(std::unique(scratch_.begin(), scratch_.end()), scratch_.end());
  if (scratch_.size() <= 2) {
    hull_ = scratch_;
    return;
  }
  hull_.assign(2 * scratch_.size(), GridPoint{});
  std::size_t k = 0;
  for (const GridPoint& q : scratch_) {  // lower hull
    while (k >= 2 && cross(hull_[k - 2], hull_[k - 1], q) <= 0) --k;
    hull_[k++] = q;
  }
  const std::size_t lower = k + 1;
  for (auto it = scratch_.rbegin() + 1; it != scratch_.rend(); ++it) {  // upper hull
    while (k >= lower && cross(hull_[k - 2], hull_[k - 1], *it) <= 0) --k;
    hull_[k++] = *it;
  }
  hull_.resize(k - 1);  // the last point repeats the first
}

// True when no inner point can measure farther than the tolerance from the line
// y = a x + b (a, b, c the rounded floats, taken as exact numbers).
//
// Let dist be a point's true distance from that line and (U, V) the exact
// intersection of the line with the line of slope c through the point. Since c is
// -1/a to within float rounding, |(x, y) - (U, V)| <= dist (1 + 2^-48). The
// computed t, u, v and d differ from their exact counterparts by rounding only; with
// X, Y the largest |x|, |y| of the inner points, uf = 2^-24 (float) and
// ud = 2^-53 (double) unit roundoff, and |a - c| = |a| + |c| (a and c have opposite
// signs):
//   |t - T| <= Et = (uf + 3 ud) (Y + |c| X)
//   |u - U| <= Eu = G + uf (Ub + G),  G = (Et + 4 ud (Y + |c| X + Et + |b|)) / |a - c|,
//                                     Ub = X + dist + 1 >= |U|
//   |v - V| <= Ev = |a| Eu + (uf + 2 ud) (Vb + |a| Eu),  Vb = Y + dist + 1 >= |V|
// and the differences, squares, sum and root add ud-sized terms. The double
// value that d rounds from is then below (dist + E) (1 + 2^-40) with E the sum of
// the terms; if that is below the tolerance (a float), rounding cannot carry d
// beyond it. E is doubled to leave room for any term this account misses.
bool ChainStraightness::certainly_straight(float a, float b, float c) const {
  if (!hull_usable_ || hull_.empty()) return false;
  constexpr double uf = 0x1p-24, ud = 0x1p-53, tiny = 0x1p-40;
  double f_max = -std::numeric_limits<double>::infinity(), f_min = std::numeric_limits<double>::infinity();
  for (const GridPoint& p : hull_) {
    const double f = static_cast<double>(a) * p.x - p.y;
    f_max = std::max(f_max, f), f_min = std::min(f_min, f);
  }
  const double A = std::fabs(static_cast<double>(a)), B = std::fabs(static_cast<double>(b));
  const double C = std::fabs(static_cast<double>(c));
  const double X = std::max(std::fabs(static_cast<double>(min_x_)), std::fabs(static_cast<double>(max_x_)));
  const double Y = std::max(std::fabs(static_cast<double>(min_y_)), std::fabs(static_cast<double>(max_y_)));
  // Each computed a x - y + b is within 4 ud (A X + Y + B) of the exact value.
  const double slop = 4 * ud * (A * X + Y + B);
  const double reach = std::max(std::fabs(f_max + b), std::fabs(f_min + b)) + slop;
  const double dist = reach / std::sqrt(static_cast<double>(a) * a + 1.0) * (1 + tiny);
  if (!(dist < tolerance_)) return false;

  const double t_mag = Y + C * X;
  const double et = (uf + 3 * ud) * t_mag;
  const double g = (et + 4 * ud * (t_mag + et + B)) / (A + C);
  const double ub = X + dist + 1, vb = Y + dist + 1;
  const double eu = g + uf * (ub + g);
  const double ev = A * eu + (uf + 2 * ud) * (vb + A * eu);
  const double edx = eu + ud * (X + ub + eu);
  const double edy = ev + ud * (Y + vb + ev);
  const double e = 2 * (edx + edy) + 1e-9;
  return (dist + e) * (1 + tiny) < tolerance_;
}

bool ChainStraightness::bent(std::span<const GridPoint> chain) {
  const std::size_t n = chain.size();
  if (n < 3) return false;
  while (folded_ + 2 < n) {
    fold(chain[folded_ + 1]);
    ++folded_;
  }
  const GridPoint first = chain.front(), last = chain.back();
  const double tolerance = tolerance_;
  if (last.x == first.x) {
    const std::int64_t far =
        std::max(static_cast<std::int64_t>(first.x) - min_x_, static_cast<std::int64_t>(max_x_) - first.x);
    return static_cast<double>(far) > tolerance;
  }
  if (last.y == first.y) {
    const std::int64_t far =
        std::max(static_cast<std::int64_t>(first.y) - min_y_, static_cast<std::int64_t>(max_y_) - first.y);
    return static_cast<double>(far) > tolerance;
  }
  const Line line = line_through(first, last);
  if (certainly_straight(line.a, line.b, line.c)) return false;
  ++full_measurements_;
  points_measured_ += static_cast<std::int64_t>(n - 2);
  return any_too_far(chain.subspan(1, n - 2), line, tolerance_);
}

}  // namespace vp
