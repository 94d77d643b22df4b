#include "cad/fit.h"

#include <algorithm>
#include <cmath>

namespace vp::cad {

namespace {

// Solves the symmetric 3×3 system m·s = r by elimination with partial pivoting;
// false when it is singular.
bool solve3(double m[3][3], double r[3], double s[3]) {
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int row = col + 1; row < 3; ++row)
      if (std::abs(m[row][col]) > std::abs(m[pivot][col])) pivot = row;
    if (!(std::abs(m[pivot][col]) > 1e-300)) return false;
    if (pivot != col) {
      std::swap(m[pivot], m[col]);
      std::swap(r[pivot], r[col]);
    }
    for (int row = col + 1; row < 3; ++row) {
      const double f = m[row][col] / m[col][col];
      for (int k = col; k < 3; ++k) m[row][k] -= f * m[col][k];
      r[row] -= f * r[col];
    }
  }
  for (int row = 2; row >= 0; --row) {
    double v = r[row];
    for (int k = row + 1; k < 3; ++k) v -= m[row][k] * s[k];
    s[row] = v / m[row][row];
  }
  return std::isfinite(s[0]) && std::isfinite(s[1]) && std::isfinite(s[2]);
}

// Central moments of a point set, from which both fits start.
struct Moments {
  double n = 0, mx = 0, my = 0;
  double uu = 0, uv = 0, vv = 0;              // second
  double uuu = 0, uuv = 0, uvv = 0, vvv = 0;  // third
};

std::optional<LineFit> line_from(const Moments& m) {
  if (m.n < 2) return std::nullopt;
  const double angle = 0.5 * std::atan2(2.0 * m.uv, m.uu - m.vv);
  if (!(m.uu + m.vv > 0)) return std::nullopt;  // all points the same
  return LineFit{{m.mx, m.my}, {std::cos(angle), std::sin(angle)}};
}

// The Kåsa fit in centred coordinates: the centre solves
// [uu uv; uv vv]·c = ½·[uuu + uvv; vvv + uuv].
std::optional<CircleFit> circle_from(const Moments& m) {
  if (m.n < 3) return std::nullopt;
  const double det = m.uu * m.vv - m.uv * m.uv;
  const double scale = (m.uu + m.vv) * (m.uu + m.vv);
  if (!(det > 1e-12 * scale)) return std::nullopt;  // collinear, or as good as
  const double bu = 0.5 * (m.uuu + m.uvv), bv = 0.5 * (m.vvv + m.uuv);
  const double cu = (bu * m.vv - bv * m.uv) / det, cv = (m.uu * bv - m.uv * bu) / det;
  const double r2 = cu * cu + cv * cv + (m.uu + m.vv) / m.n;
  if (!(r2 > 0) || !std::isfinite(r2)) return std::nullopt;
  return CircleFit{{m.mx + cu, m.my + cv}, std::sqrt(r2)};
}

// Of one run of points, or of two taken together.
Moments moments_of(std::span<const Point> points, std::span<const Point> more = {}) {
  Moments m;
  m.n = static_cast<double>(points.size() + more.size());
  if (m.n == 0) return m;
  for (std::span<const Point> part : {points, more})
    for (const Point& p : part) {
      m.mx += p.x;
      m.my += p.y;
    }
  m.mx /= m.n;
  m.my /= m.n;
  for (std::span<const Point> part : {points, more})
    for (const Point& p : part) {
      const double u = p.x - m.mx, v = p.y - m.my;
      m.uu += u * u;
      m.uv += u * v;
      m.vv += v * v;
      m.uuu += u * u * u;
      m.uuv += u * u * v;
      m.uvv += u * v * v;
      m.vvv += v * v * v;
    }
  return m;
}

// The algebraic start is close: a few steps reach the geometric fit.
constexpr int kIterations = 4;
// Steps below this (pixels) change nothing that is written.
constexpr double kConverged = 1e-7;

template <class Points>
CircleFit gauss_newton(const Points& points, CircleFit c) {
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    // The normal equations of the distances' Jacobian (−u, −v, −1), u and v the
    // unit vector from the centre.
    double suu = 0, suv = 0, svv = 0, su = 0, sv = 0, n = 0, se = 0, sue = 0, sve = 0;
    for (const Point& p : points) {
      const double dx = p.x - c.centre.x, dy = p.y - c.centre.y, d = std::sqrt(dx * dx + dy * dy);
      if (!(d > 0)) continue;
      const double u = dx / d, v = dy / d, e = d - c.radius;
      suu += u * u;
      suv += u * v;
      svv += v * v;
      su += u;
      sv += v;
      n += 1;
      se += e;
      sue += u * e;
      sve += v * e;
    }
    double m[3][3] = {{suu, suv, su}, {suv, svv, sv}, {su, sv, n}};
    double r[3] = {sue, sve, se};
    double s[3];
    if (!solve3(m, r, s)) break;
    c.centre.x += s[0];
    c.centre.y += s[1];
    c.radius += s[2];
    if (std::abs(s[0]) + std::abs(s[1]) + std::abs(s[2]) < kConverged) break;
  }
  return c;
}

}  // namespace

PixelSums::PixelSums(std::span<const Point> pixels) {
  prefix_.reserve(pixels.size() + 1);
  prefix_.push_back({});
  if (pixels.empty()) return;
  origin_ = pixels.front();
  Sums s;
  for (const Point& p : pixels) {
    const double x = p.x - origin_.x, y = p.y - origin_.y, z = x * x + y * y;
    s.n += 1;
    s.x += x;
    s.y += y;
    s.xx += x * x;
    s.xy += x * y;
    s.yy += y * y;
    s.xz += x * z;
    s.yz += y * z;
    prefix_.push_back(s);
  }
}

PixelSums::Sums PixelSums::range(std::size_t first, std::size_t last) const {
  const Sums& a = prefix_[first];
  const Sums& b = prefix_[last + 1];
  return {b.n - a.n, b.x - a.x, b.y - a.y, b.xx - a.xx, b.xy - a.xy, b.yy - a.yy, b.xz - a.xz, b.yz - a.yz};
}

namespace {

// Central moments from raw sums: the third ones need only the combinations
// Σu(u² + v²) and Σv(u² + v²), which is all the Kåsa fit uses.
Moments central(double n, double x, double y, double xx, double xy, double yy, double xz, double yz) {
  Moments m;
  m.n = n;
  if (n <= 0) return m;
  const double a = x / n, b = y / n;
  m.mx = a;
  m.my = b;
  m.uu = xx - n * a * a;
  m.uv = xy - n * a * b;
  m.vv = yy - n * b * b;
  // Σu(u²+v²) and Σv(u²+v²) expanded about the mean (Σx = n·a, Σy = n·b).
  const double uz = xz - 3 * a * xx - 2 * b * xy - a * yy + 2 * n * a * (a * a + b * b);
  const double vz = yz - 3 * b * yy - 2 * a * xy - b * xx + 2 * n * b * (a * a + b * b);
  m.uuu = uz;  // only the sums uuu + uvv and vvv + uuv are used
  m.uvv = 0;
  m.vvv = vz;
  m.uuv = 0;
  return m;
}

}  // namespace

std::optional<LineFit> PixelSums::line(std::size_t first, std::size_t last) const {
  const Sums s = range(first, last);
  std::optional<LineFit> fit = line_from(central(s.n, s.x, s.y, s.xx, s.xy, s.yy, s.xz, s.yz));
  if (fit) fit->origin = {fit->origin.x + origin_.x, fit->origin.y + origin_.y};
  return fit;
}

std::optional<CircleFit> PixelSums::circle(std::size_t first, std::size_t last) const {
  const Sums s = range(first, last);
  std::optional<CircleFit> fit = circle_from(central(s.n, s.x, s.y, s.xx, s.xy, s.yy, s.xz, s.yz));
  if (fit) fit->centre = {fit->centre.x + origin_.x, fit->centre.y + origin_.y};
  return fit;
}

double distance_to_line(Point p, const LineFit& line) {
  return std::abs((p.x - line.origin.x) * line.direction.y - (p.y - line.origin.y) * line.direction.x);
}

double distance_to_circle(Point p, const CircleFit& circle) {
  const double dx = p.x - circle.centre.x, dy = p.y - circle.centre.y;
  return std::abs(std::sqrt(dx * dx + dy * dy) - circle.radius);
}

namespace {

template <class Distance>
double furthest(std::span<const Point> pixels, std::size_t first, std::size_t last, double limit, Distance distance) {
  double worst = 0;
  for (std::size_t i = first; i <= last; ++i) {
    worst = std::max(worst, distance(pixels[i]));
    if (worst > limit) break;
  }
  return worst;
}

}  // namespace

double max_distance(std::span<const Point> pixels, std::size_t first, std::size_t last, const LineFit& line,
                    double limit) {
  return furthest(pixels, first, last, limit, [&](Point p) { return distance_to_line(p, line); });
}

double max_distance(std::span<const Point> pixels, std::size_t first, std::size_t last, const CircleFit& circle,
                    double limit) {
  return furthest(pixels, first, last, limit, [&](Point p) { return distance_to_circle(p, circle); });
}

FitResult<LineFit> fit_line(std::span<const Point> points, double tolerance) { return fit_line(points, {}, tolerance); }

FitResult<LineFit> fit_line(std::span<const Point> points, std::span<const Point> more, double tolerance) {
  FitResult<LineFit> result;
  const std::optional<LineFit> line = line_from(moments_of(points, more));
  if (!line) return result;
  for (std::span<const Point> part : {points, more})
    for (const Point& p : part)
      if (!(distance_to_line(p, *line) <= tolerance)) {
        result.failure = FitFailure::OutOfTolerance;
        return result;
      }
  result.fit = line;
  return result;
}

FitResult<CircleFit> fit_circle(std::span<const Point> points, double tolerance, double min_radius, double max_radius) {
  FitResult<CircleFit> result;
  if (points.size() < 3) return result;
  const Moments m = moments_of(points);
  std::optional<CircleFit> guess = circle_from(m);
  if (!guess) {
    result.failure = FitFailure::Collinear;
    return result;
  }
  const CircleFit circle = gauss_newton(points, *guess);
  if (!(circle.radius >= min_radius && circle.radius <= max_radius)) {
    result.failure = FitFailure::OutOfRange;
    return result;
  }
  for (const Point& p : points)
    if (!(distance_to_circle(p, circle) <= tolerance)) {
      result.failure = FitFailure::OutOfTolerance;
      return result;
    }
  result.fit = circle;
  return result;
}

CircleFit refine_circle(std::span<const Point> pixels, std::size_t first, std::size_t last, CircleFit guess) {
  return gauss_newton(pixels.subspan(first, last - first + 1), guess);
}

}  // namespace vp::cad
