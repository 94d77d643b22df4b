// The drawing as a draughtsman drew it: lines, arcs and circles fitted to the
// thinned ink, in grid coordinates (pixels, y growing upwards, the frame of the
// traced segments) as doubles. Made by build_cad_drawing (cad/cad_stage.h);
// the writers scale it to millimetres, the preview draws it.
//
// One arc convention everywhere: centre, radius, start angle and a positive
// sweep, in radians, counter-clockwise in the grid frame (so also in DXF's frame,
// whose y grows upwards too). A full turn is a Circle, never an Arc.
#pragma once

#include <cstddef>
#include <vector>

namespace vp::cad {

struct Point {
  double x = 0, y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Line {
  Point a, b;
  friend bool operator==(const Line&, const Line&) = default;
};

struct Arc {
  Point centre;
  double radius = 0;
  double start = 0;  // radians, [0, 2π)
  double sweep = 0;  // radians, counter-clockwise, (0, 2π)
  friend bool operator==(const Arc&, const Arc&) = default;
};

struct Circle {
  Point centre;
  double radius = 0;
  friend bool operator==(const Circle&, const Circle&) = default;
};

struct CadDrawing {
  std::vector<Line> lines;
  std::vector<Arc> arcs;
  std::vector<Circle> circles;
  // For the preview's marks: the free ends of the pieces and the points where
  // three or more meet.
  std::vector<Point> free_ends;
  std::vector<Point> junctions;
  double skew_degrees = 0;    // the drawing's skew as measured (counter-clockwise positive)
  bool straightened = false;  // the pieces were turned back by skew_degrees about centre
  Point centre;               // the sheet's centre, the pivot of the straightening
  double tolerance = 1.5;     // pixels: how far the fits may leave the ink (and chords their arc)

  std::size_t entity_count() const { return lines.size() + arcs.size() + circles.size(); }
  bool empty() const { return entity_count() == 0; }
};

// The arc's end points and its angle at a fraction of its sweep.
Point point_on_arc(const Arc& arc, double angle);
Point arc_start_point(const Arc& arc);
Point arc_end_point(const Arc& arc);
// The arc's length (radius × sweep) and a circle's (2πr).
double arc_length(const Arc& arc);
double circle_length(const Circle& circle);

// The fewest chords that stay within `tolerance` of the arc (at least one, and
// at most 4096), as their corner points from start to end, both included: for
// formats that have no arc record. A circle's chords close on their first point.
std::vector<Point> arc_chords(const Arc& arc, double tolerance);
std::vector<Point> circle_chords(const Circle& circle, double tolerance);

}  // namespace vp::cad
