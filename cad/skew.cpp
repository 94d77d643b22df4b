#include "cad/skew.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vp::cad {

namespace {

constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kSearchDegrees = 5.5;   // lines further off an axis are drawn so
constexpr double kWindowDegrees = 0.25;  // lines that agree on a skew agree within this
constexpr double kSnapDegrees = 0.3;
// Short lines: ends this many tolerances apart across the axis, as far as a
// short stroke's direction can be told.
constexpr double kSnapOffsetTolerances = 1.0;
constexpr double kMaxSnapDegrees = 10.0;

// The angle of a direction off its nearest axis, in (−45°, 45°].
double off_axis_degrees(Point d) {
  double a = std::atan2(d.y, d.x) / kDeg;
  while (a > 45) a -= 90;
  while (a <= -45) a += 90;
  return a;
}

}  // namespace

double measure_skew(const PieceGraph& graph, double min_length) {
  struct Vote {
    double degrees, weight;
  };
  std::vector<Vote> votes;
  for (const GraphPiece& g : graph.pieces) {
    if (!g.alive || g.piece.kind != PieceKind::Line) continue;
    const Point d{g.piece.b.x - g.piece.a.x, g.piece.b.y - g.piece.a.y};
    const double length = std::hypot(d.x, d.y);
    if (length < min_length) continue;
    const double off = off_axis_degrees(d);
    if (std::abs(off) <= kSearchDegrees) votes.push_back({off, length});
  }
  if (votes.empty()) return 0;
  std::sort(votes.begin(), votes.end(), [](const Vote& a, const Vote& b) { return a.degrees < b.degrees; });
  // The window of most length; ties go to the first.
  double best = -1, window = 0;
  std::size_t best_from = 0, best_to = 0;
  for (std::size_t from = 0, to = 0; from < votes.size(); ++from) {
    while (to < votes.size() && votes[to].degrees - votes[from].degrees <= kWindowDegrees) window += votes[to++].weight;
    if (window > best) {
      best = window;
      best_from = from;
      best_to = to;
    }
    window -= votes[from].weight;
  }
  double sum = 0, weight = 0;
  for (std::size_t k = best_from; k < best_to; ++k) {
    sum += votes[k].degrees * votes[k].weight;
    weight += votes[k].weight;
  }
  return weight > 0 ? sum / weight : 0;
}

void rotate_graph(PieceGraph& graph, double degrees, Point centre) {
  const double c = std::cos(degrees * kDeg), s = std::sin(degrees * kDeg);
  const auto turn = [&](Point& p) {
    const double dx = p.x - centre.x, dy = p.y - centre.y;
    p = {centre.x + c * dx - s * dy, centre.y + s * dx + c * dy};
  };
  const auto turn_direction = [&](Point& d) { d = {c * d.x - s * d.y, s * d.x + c * d.y}; };
  for (GraphPiece& g : graph.pieces) {
    if (!g.alive) continue;
    Piece& p = g.piece;
    turn(p.a);
    turn(p.b);
    turn(p.line.origin);
    turn_direction(p.line.direction);
    turn(p.circle.centre);
    for (Point& q : p.samples) turn(q);
  }
  for (Vertex& v : graph.vertices) turn(v.position);
}

void snap_to_axes(PieceGraph& graph, double tolerance) {
  for (GraphPiece& g : graph.pieces) {
    if (!g.alive || g.piece.kind != PieceKind::Line) continue;
    Piece& p = g.piece;
    const Point d{p.b.x - p.a.x, p.b.y - p.a.y};
    const double off = std::abs(off_axis_degrees(d));
    const bool horizontal = std::abs(d.x) >= std::abs(d.y);
    const double across = horizontal ? std::abs(d.y) : std::abs(d.x);
    if (!(off <= kSnapDegrees || (across <= kSnapOffsetTolerances * tolerance && off <= kMaxSnapDegrees))) continue;
    if (horizontal) {
      const double y = (p.a.y + p.b.y) / 2;
      p.a.y = p.b.y = y;
      p.line = {{(p.a.x + p.b.x) / 2, y}, {d.x >= 0 ? 1.0 : -1.0, 0.0}};
      g.axis = Axis::Horizontal;
    } else {
      const double x = (p.a.x + p.b.x) / 2;
      p.a.x = p.b.x = x;
      p.line = {{x, (p.a.y + p.b.y) / 2}, {0.0, d.y >= 0 ? 1.0 : -1.0}};
      g.axis = Axis::Vertical;
    }
  }
}

}  // namespace vp::cad
