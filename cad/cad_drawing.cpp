#include "cad/cad_drawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vp::cad {

namespace {

constexpr int kMaxChords = 4096;

// Chords of equal angle, each no further than `tolerance` from the arc: the
// sagitta r(1 − cos(θ/2)) of a chord over angle θ bounds its distance.
int chord_count(double radius, double sweep, double tolerance) {
  if (!(radius > 0) || !(sweep > 0)) return 1;
  const double ratio = 1.0 - std::clamp(tolerance, 1e-9, radius) / radius;
  const double max_angle = 2.0 * std::acos(std::clamp(ratio, -1.0, 1.0));
  if (!(max_angle > 0)) return kMaxChords;
  return std::clamp(static_cast<int>(std::ceil(sweep / max_angle - 1e-9)), 1, kMaxChords);
}

std::vector<Point> chord_points(Point centre, double radius, double start, double sweep, double tolerance) {
  const int n = chord_count(radius, sweep, tolerance);
  std::vector<Point> points;
  points.reserve(static_cast<std::size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    const double angle = start + sweep * i / n;
    points.push_back({centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
  }
  return points;
}

}  // namespace

Point point_on_arc(const Arc& arc, double angle) {
  return {arc.centre.x + arc.radius * std::cos(angle), arc.centre.y + arc.radius * std::sin(angle)};
}
Point arc_start_point(const Arc& arc) { return point_on_arc(arc, arc.start); }
Point arc_end_point(const Arc& arc) { return point_on_arc(arc, arc.start + arc.sweep); }
double arc_length(const Arc& arc) { return arc.radius * arc.sweep; }
double circle_length(const Circle& circle) { return 2.0 * std::numbers::pi * circle.radius; }

std::vector<Point> arc_chords(const Arc& arc, double tolerance) {
  return chord_points(arc.centre, arc.radius, arc.start, arc.sweep, tolerance);
}

std::vector<Point> circle_chords(const Circle& circle, double tolerance) {
  std::vector<Point> points = chord_points(circle.centre, circle.radius, 0.0, 2.0 * std::numbers::pi, tolerance);
  points.back() = points.front();  // closes exactly
  return points;
}

}  // namespace vp::cad
