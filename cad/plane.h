// The small plane geometry the fitting stage shares: vectors, angles, and
// points dropped onto a line or a circle.
#pragma once

#include <cmath>
#include <numbers>

#include "cad/fit.h"

namespace vp::cad {

inline Point sub(Point a, Point b) { return {a.x - b.x, a.y - b.y}; }
inline double dot(Point a, Point b) { return a.x * b.x + a.y * b.y; }
inline double cross(Point a, Point b) { return a.x * b.y - a.y * b.x; }
inline double norm(Point a) { return length_of(a.x, a.y); }
inline double dist(Point a, Point b) { return norm(sub(a, b)); }
inline Point unit(Point a) {
  const double n = norm(a);
  return n > 0 ? Point{a.x / n, a.y / n} : Point{1, 0};
}
// The direction of p seen from c, in radians.
inline double angle_of(Point c, Point p) { return std::atan2(p.y - c.y, p.x - c.x); }
// An angle brought into (−π, π].
inline double wrapped(double angle) {
  constexpr double kPi = std::numbers::pi;
  while (angle > kPi) angle -= 2 * kPi;
  while (angle <= -kPi) angle += 2 * kPi;
  return angle;
}
// The foot of p on the line.
inline Point project(Point p, const LineFit& line) {
  const double t = dot(sub(p, line.origin), line.direction);
  return {line.origin.x + t * line.direction.x, line.origin.y + t * line.direction.y};
}
// The point of the circle nearest p (its rightmost one for the centre itself).
inline Point onto_circle(Point p, const CircleFit& c) {
  const Point r = sub(p, c.centre);
  const double d = norm(r);
  if (!(d > 0)) return {c.centre.x + c.radius, c.centre.y};
  return {c.centre.x + r.x * c.radius / d, c.centre.y + r.y * c.radius / d};
}

}  // namespace vp::cad
