#include "cad/piece_graph.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <span>
#include <utility>

#include "cad/plane.h"

namespace vp::cad {

namespace {

constexpr double kPi = std::numbers::pi;
// Two lines closer to parallel than this have no corner to close.
const double kMinCornerSine = std::sin(5.0 * kPi / 180.0);
// Lines that continue each other turn by less than this at the vertex.
const double kContinuationCosine = std::cos(20.0 * kPi / 180.0);
// No two lines that turn by more than this where they meet are one.
const double kJoinCosine = std::cos(35.0 * kPi / 180.0);
constexpr double kCircleRadians = 350.0 * kPi / 180.0;
constexpr std::size_t kMaxSamples = 96;
// A vertex with more ends than this is a blot that many strokes run into, not a
// joint: no stroke is continued through it and no corner closed at it (pairing
// its ends would cost the square of their number, at every merge again).
constexpr std::size_t kMostEndsAtAJoint = 64;

Point& end_point(GraphPiece& g, int end) { return end == 0 ? g.piece.a : g.piece.b; }
Point end_point(const GraphPiece& g, int end) { return end == 0 ? g.piece.a : g.piece.b; }
std::int32_t end_vertex(const GraphPiece& g, int end) { return end == 0 ? g.va : g.vb; }

void flip(GraphPiece& g) {
  std::swap(g.piece.a, g.piece.b);
  std::swap(g.va, g.vb);
  g.piece.ccw = !g.piece.ccw;
  g.piece.line.direction = {-g.piece.line.direction.x, -g.piece.line.direction.y};
}

// The direction in which a piece leaves its end `end`, into the piece.
Point leaving(const GraphPiece& g, int end) {
  const Piece& p = g.piece;
  if (p.kind == PieceKind::Line) return unit(end == 0 ? sub(p.b, p.a) : sub(p.a, p.b));
  const Point r = sub(end_point(g, end), p.circle.centre);
  // Travel runs a → b; counter-clockwise travel turns the radius by +90°.
  Point travel = p.ccw ? Point{-r.y, r.x} : Point{r.y, -r.x};
  if (end == 1) travel = {-travel.x, -travel.y};
  return unit(travel);
}

double distance_to(const Piece& p, Point q) {
  if (p.kind == PieceKind::Line) {
    const Point d = sub(p.b, p.a);
    const double len2 = dot(d, d);
    const double t = len2 > 0 ? std::clamp(dot(sub(q, p.a), d) / len2, 0.0, 1.0) : 0.0;
    return dist(q, {p.a.x + t * d.x, p.a.y + t * d.y});
  }
  if (p.kind == PieceKind::Circle) return std::abs(dist(q, p.circle.centre) - p.circle.radius);
  // An arc: the circle where q lies within its sweep, else the nearer end.
  const double from_a = wrapped(angle_of(p.circle.centre, q) - angle_of(p.circle.centre, p.a));
  const double along = p.ccw ? (from_a < 0 ? from_a + 2 * kPi : from_a) : (from_a > 0 ? 2 * kPi - from_a : -from_a);
  if (along <= p.sweep) return std::abs(dist(q, p.circle.centre) - p.circle.radius);
  return std::min(dist(q, p.a), dist(q, p.b));
}

// A spur leaves the piece it hangs from at more than this angle.
const double kWhiskerSine = std::sin(20.0 * kPi / 180.0);

double distance_to_carrier(const GraphPiece& g, Point q) {
  const Piece& p = g.piece;
  if (p.kind == PieceKind::Line) {
    const Point d = unit(sub(p.b, p.a));
    return std::abs(cross(sub(q, p.a), d));
  }
  return std::abs(dist(q, p.circle.centre) - p.circle.radius);
}

std::vector<Point> joined_samples(const std::vector<Point>& a, const std::vector<Point>& b) {
  std::vector<Point> out(a);
  out.insert(out.end(), b.begin(), b.end());
  if (out.size() > kMaxSamples) {
    std::vector<Point> thin;
    const double step = static_cast<double>(out.size()) / kMaxSamples;
    for (std::size_t i = 0; i < kMaxSamples; ++i) thin.push_back(out[static_cast<std::size_t>(i * step)]);
    thin.back() = out.back();
    out = std::move(thin);
  }
  return out;
}

// The counter-clockwise angle from a to b about c, in [0, 2π), taken as near
// `expected` as the turn allows.
double ccw_sweep(Point c, Point a, Point b, double expected) {
  double s = angle_of(c, b) - angle_of(c, a);
  while (s < 0) s += 2 * kPi;
  while (s >= 2 * kPi) s -= 2 * kPi;
  if (expected - s > kPi) s += 2 * kPi;
  return s;
}

struct Incidence {
  std::int32_t piece;
  int end;
};

// The live piece ends at each vertex, in one array (a vertex's ends together,
// in the pieces' order): read-only, built in two sweeps.
class EndsAt {
 public:
  explicit EndsAt(const PieceGraph& graph) : start_(graph.vertices.size() + 1, 0) {
    const auto each = [&](const auto& f) {
      for (std::size_t i = 0; i < graph.pieces.size(); ++i) {
        const GraphPiece& g = graph.pieces[i];
        if (!g.alive || g.piece.kind == PieceKind::Circle) continue;
        for (int end = 0; end < 2; ++end)
          if (end_vertex(g, end) >= 0)
            f(static_cast<std::size_t>(end_vertex(g, end)), Incidence{static_cast<std::int32_t>(i), end});
      }
    };
    each([&](std::size_t v, Incidence) { ++start_[v + 1]; });
    for (std::size_t v = 1; v < start_.size(); ++v) start_[v] += start_[v - 1];
    items_.resize(start_.back());
    std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
    each([&](std::size_t v, Incidence e) { items_[next[v]++] = e; });
  }
  std::span<const Incidence> operator[](std::size_t v) const {
    return std::span<const Incidence>(items_).subspan(start_[v], start_[v + 1] - start_[v]);
  }

 private:
  std::vector<std::size_t> start_;
  std::vector<Incidence> items_;
};

std::vector<std::vector<Incidence>> incidences(const PieceGraph& graph) {
  std::vector<std::vector<Incidence>> at(graph.vertices.size());
  for (std::size_t i = 0; i < graph.pieces.size(); ++i) {
    const GraphPiece& g = graph.pieces[i];
    if (!g.alive || g.piece.kind == PieceKind::Circle) continue;
    for (int end = 0; end < 2; ++end)
      if (end_vertex(g, end) >= 0)
        at[static_cast<std::size_t>(end_vertex(g, end))].push_back({static_cast<std::int32_t>(i), end});
  }
  return at;
}

// --- Merging ---------------------------------------------------------------

// Makes `p` the line `fit` from where `a` falls on it to where `b` does.
void make_line(Piece& p, const LineFit& fit, Point a, Point b) {
  p.kind = PieceKind::Line;
  p.line = fit;
  if (dot(p.line.direction, sub(b, a)) < 0) p.line.direction = {-p.line.direction.x, -p.line.direction.y};
  p.a = project(a, p.line);
  p.b = project(b, p.line);
  p.sweep = 0;
}

std::optional<GraphPiece> merged_lines(const GraphPiece& in, const GraphPiece& out, double tolerance) {
  // `in` ends at the vertex with b, `out` leaves it with a; arcs run along their chords.
  if (dot(unit(sub(in.piece.b, in.piece.a)), unit(sub(out.piece.b, out.piece.a))) < kContinuationCosine)
    return std::nullopt;
  // The fit is tried on the two pieces' pixels as they are; they are joined only for a merge.
  const FitResult<LineFit> fit = fit_line(in.piece.samples, out.piece.samples, tolerance);
  if (!fit) return std::nullopt;
  std::vector<Point> samples = joined_samples(in.piece.samples, out.piece.samples);
  GraphPiece g;
  make_line(g.piece, *fit.fit, in.piece.a, out.piece.b);
  g.piece.samples = std::move(samples);
  g.va = in.va;
  g.vb = out.vb;
  return g;
}

// Two arcs of one circle, or an arc and a short line (a bend too slight for an
// arc of its own) whose pixels lie on the arc's circle.
std::optional<GraphPiece> merged_arcs(const GraphPiece& in, const GraphPiece& out, double tolerance) {
  const bool in_arc = in.piece.kind == PieceKind::Arc, out_arc = out.piece.kind == PieceKind::Arc;
  if (in_arc && out_arc && in.piece.ccw != out.piece.ccw) return std::nullopt;
  const GraphPiece& arc = in_arc ? in : out;
  if (in_arc && out_arc &&
      (dist(in.piece.circle.centre, out.piece.circle.centre) > 2 * tolerance ||
       std::abs(in.piece.circle.radius - out.piece.circle.radius) > tolerance))
    return std::nullopt;
  std::vector<Point> samples = joined_samples(in.piece.samples, out.piece.samples);
  const FitResult<CircleFit> fit = fit_circle(samples, tolerance, 1.0, 1e9);
  if (!fit || dist(fit.fit->centre, arc.piece.circle.centre) > 2 * tolerance ||
      std::abs(fit.fit->radius - arc.piece.circle.radius) > tolerance)
    return std::nullopt;
  GraphPiece g;
  g.piece.kind = PieceKind::Arc;
  g.piece.circle = *fit.fit;
  g.piece.ccw = arc.piece.ccw;
  g.piece.a = onto_circle(in.piece.a, g.piece.circle);
  g.piece.b = onto_circle(out.piece.b, g.piece.circle);
  // A line's share of the turn, as seen from the circle's centre.
  const auto turn_of = [&](const GraphPiece& p) {
    return p.piece.kind == PieceKind::Arc ? p.piece.sweep
                                          : std::abs(wrapped(angle_of(g.piece.circle.centre, p.piece.b) -
                                                             angle_of(g.piece.circle.centre, p.piece.a)));
  };
  const double expected = turn_of(in) + turn_of(out);
  g.piece.sweep = g.piece.ccw ? ccw_sweep(g.piece.circle.centre, g.piece.a, g.piece.b, expected)
                              : ccw_sweep(g.piece.circle.centre, g.piece.b, g.piece.a, expected);
  // Round a whole turn or more: a circle if both ends meet at one vertex (closed
  // after the merge), else a stroke that winds past itself, left as two pieces.
  if (g.piece.sweep >= 2 * kPi && (in.va != out.vb || in.va < 0)) return std::nullopt;
  g.piece.samples = std::move(samples);
  g.va = in.va;
  g.vb = out.vb;
  return g;
}

// An arc whose two ends meet at one vertex, turning 350° or more or leaving out
// no more than the junction's gap, is a circle.
// Returns the vertex it closed at (which the circle then runs through), or -1.
std::int32_t close_into_circle(GraphPiece& g, double junction_gap) {
  if (g.piece.kind != PieceKind::Arc || g.va != g.vb || g.va < 0) return -1;
  if (g.piece.sweep < kCircleRadians && (2 * kPi - g.piece.sweep) * g.piece.circle.radius > junction_gap) return -1;
  const std::int32_t at = g.va;
  g.piece.kind = PieceKind::Circle;
  g.piece.sweep = 2 * kPi;
  g.va = g.vb = -1;
  return at;
}

// --- Closing ---------------------------------------------------------------

struct Carrier {
  bool circle = false;
  LineFit line;
  CircleFit round;
};

Carrier carrier_of(const GraphPiece& g) {
  Carrier c;
  if (g.piece.kind == PieceKind::Line) {
    c.line = {g.piece.a, unit(sub(g.piece.b, g.piece.a))};
    if (dist(g.piece.a, g.piece.b) <= 0) c.line = g.piece.line;
  } else {
    c.circle = true;
    c.round = g.piece.circle;
  }
  return c;
}

std::vector<Point> line_circle(const LineFit& l, const CircleFit& c) {
  const Point foot = project(c.centre, l);
  const double d = dist(foot, c.centre);
  if (d > c.radius) return {};
  const double h = std::sqrt(c.radius * c.radius - d * d);
  return {{foot.x + h * l.direction.x, foot.y + h * l.direction.y},
          {foot.x - h * l.direction.x, foot.y - h * l.direction.y}};
}

std::vector<Point> circle_circle(const CircleFit& a, const CircleFit& b) {
  const Point d = sub(b.centre, a.centre);
  const double l = norm(d);
  if (!(l > 0) || l > a.radius + b.radius || l < std::abs(a.radius - b.radius)) return {};
  const double x = (l * l + a.radius * a.radius - b.radius * b.radius) / (2 * l);
  const double h = std::sqrt(std::max(0.0, a.radius * a.radius - x * x));
  const Point u = unit(d), m{a.centre.x + x * u.x, a.centre.y + x * u.y};
  return {{m.x - h * u.y, m.y + h * u.x}, {m.x + h * u.y, m.y - h * u.x}};
}

// Where two carriers meet nearest to `near`; where they do not meet (parallel
// lines, a line passing by a circle, circles apart), the point of the first
// nearest the second, when that is within `gap` of it.
std::optional<Point> meeting(const Carrier& p, const Carrier& q, Point near, double gap) {
  std::vector<Point> points;
  if (!p.circle && !q.circle) {
    const double s = cross(p.line.direction, q.line.direction);
    if (std::abs(s) < kMinCornerSine) return std::nullopt;
    const double t = cross(sub(q.line.origin, p.line.origin), q.line.direction) / s;
    return Point{p.line.origin.x + t * p.line.direction.x, p.line.origin.y + t * p.line.direction.y};
  }
  if (p.circle && q.circle) {
    points = circle_circle(p.round, q.round);
    if (points.empty()) {
      const Point towards = onto_circle(q.round.centre, p.round);
      const Point away =
          onto_circle({2 * p.round.centre.x - q.round.centre.x, 2 * p.round.centre.y - q.round.centre.y}, p.round);
      for (Point c : {towards, away})
        if (std::abs(dist(c, q.round.centre) - q.round.radius) <= gap) points.push_back(c);
    }
  } else {
    const LineFit& l = p.circle ? q.line : p.line;
    const CircleFit& c = p.circle ? p.round : q.round;
    points = line_circle(l, c);
    if (points.empty()) {
      const Point foot = project(c.centre, l);
      if (dist(foot, c.centre) - c.radius <= gap) points.push_back(foot);
    }
  }
  if (points.empty()) return std::nullopt;
  return *std::min_element(points.begin(), points.end(),
                           [&](Point a, Point b) { return dist(a, near) < dist(b, near); });
}

// Moves one end to `to` (an axis line keeps its axis, an arc its circle and
// orientation) and returns where the end now is; nothing when the move would
// turn an arc inside out.
std::optional<Point> move_end(GraphPiece& g, int end, Point to) {
  Piece& p = g.piece;
  if (p.kind == PieceKind::Line) {
    if (g.axis == Axis::Horizontal) to.y = p.a.y;
    if (g.axis == Axis::Vertical) to.x = p.a.x;
    const Point other = end_point(g, 1 - end);
    // A line is not turned round by its own corner.
    if (dot(sub(to, other), sub(end_point(g, end), other)) <= 0) return std::nullopt;
    end_point(g, end) = to;
    return to;
  }
  const Point on = onto_circle(to, p.circle);
  const double change = wrapped(angle_of(p.circle.centre, on) - angle_of(p.circle.centre, end_point(g, end)));
  const double turn = p.ccw ? change : -change;
  const double sweep = end == 1 ? p.sweep + turn : p.sweep - turn;
  if (!(sweep > 0) || sweep >= 2 * kPi) return std::nullopt;
  p.sweep = sweep;
  end_point(g, end) = on;
  return on;
}

// The order in which two ends take a shared point: axis lines first (they cannot
// move off their axis), then arcs (their ends stay on their circle), then the rest.
int rigidity(const GraphPiece& g) {
  if (g.piece.kind == PieceKind::Line && g.axis != Axis::None) return 0;
  return g.piece.kind == PieceKind::Line ? 2 : 1;
}

// A line meets an arc's end along the arc's tangent there (a fillet, a line
// running into a curve), rather than at an angle. Lines fitted within the
// tolerance run some way into the arc, so their directions differ by up to this.
const double kTangentSine = std::sin(35.0 * kPi / 180.0);
bool tangent_join(const GraphPiece& arc, int end, const GraphPiece& line) {
  if (arc.piece.kind != PieceKind::Arc || line.piece.kind != PieceKind::Line) return false;
  return std::abs(cross(leaving(arc, end), unit(sub(line.piece.b, line.piece.a)))) < kTangentSine;
}

// The line's carrier as its ends give it.
LineFit line_through(const GraphPiece& g) {
  return dist(g.piece.a, g.piece.b) > 0 ? LineFit{g.piece.a, unit(sub(g.piece.b, g.piece.a))} : g.piece.line;
}

// Moves the arc onto the lines it runs into: its centre to the radius' distance
// from each (from both: the corner of the two lines moved in by the radius, or
// the middle of two parallel ones), so that it touches them exactly.
void fit_arc_to_tangents(GraphPiece& arc, const GraphPiece* first, const GraphPiece* second) {
  CircleFit& c = arc.piece.circle;
  const auto inward = [&](const LineFit& l) {  // the line's normal towards the centre
    Point n{-l.direction.y, l.direction.x};
    if (dot(sub(c.centre, l.origin), n) < 0) n = {-n.x, -n.y};
    return n;
  };
  CircleFit moved = c;
  if (first && second) {
    const LineFit l1 = line_through(*first), l2 = line_through(*second);
    const Point n1 = inward(l1), n2 = inward(l2);
    if (std::abs(cross(l1.direction, l2.direction)) < kMinCornerSine) {
      const double d1 = dot(sub(c.centre, l1.origin), n1), d2 = dot(sub(c.centre, l2.origin), n2);
      moved.radius = (d1 + d2) / 2;
      const double shift = moved.radius - d1;
      moved.centre = {c.centre.x + shift * n1.x, c.centre.y + shift * n1.y};
    } else {
      // Centres at distance r from both lines lie on x + r·q (x the lines'
      // corner, q·n1 = q·n2 = 1); the radius is the one that fits the arc's pixels best.
      const double s = cross(l1.direction, l2.direction);
      const double t = cross(sub(l2.origin, l1.origin), l2.direction) / s;
      const Point x{l1.origin.x + t * l1.direction.x, l1.origin.y + t * l1.direction.y};
      const double det = n1.x * n2.y - n1.y * n2.x;
      const Point q{(n2.y - n1.y) / det, (n1.x - n2.x) / det};
      const auto misfit = [&](double r) {
        const Point centre{x.x + r * q.x, x.y + r * q.y};
        double sum = 0;
        for (const Point& p : arc.piece.samples) {
          const double e = dist(p, centre) - r;
          sum += e * e;
        }
        return sum;
      };
      double lo = c.radius / 2, hi = c.radius * 3 / 2;
      for (int k = 0; k < 60; ++k) {  // golden section: the misfit has one minimum near the fit
        const double m1 = hi - (hi - lo) * 0.6180339887498949, m2 = lo + (hi - lo) * 0.6180339887498949;
        if (misfit(m1) < misfit(m2))
          hi = m2;
        else
          lo = m1;
      }
      moved.radius = (lo + hi) / 2;
      moved.centre = {x.x + moved.radius * q.x, x.y + moved.radius * q.y};
    }
  } else {
    const GraphPiece* only = first ? first : second;
    const LineFit l = line_through(*only);
    const Point n = inward(l);
    const double shift = c.radius - dot(sub(c.centre, l.origin), n);
    moved.centre = {c.centre.x + shift * n.x, c.centre.y + shift * n.y};
  }
  // Only a small correction: a fit that far off is not a tangent join after all.
  if (!(dist(moved.centre, c.centre) <= c.radius / 4 + 2) || !(moved.radius > 0)) return;
  const Point a = onto_circle(arc.piece.a, moved), b = onto_circle(arc.piece.b, moved);
  const double sweep =
      arc.piece.ccw ? ccw_sweep(moved.centre, a, b, arc.piece.sweep) : ccw_sweep(moved.centre, b, a, arc.piece.sweep);
  // Nor is one that would take the arc round a whole turn or more.
  if (!(sweep > 0) || sweep >= 2 * kPi) return;
  c = moved;
  arc.piece.a = a;
  arc.piece.b = b;
  arc.piece.sweep = sweep;
}

void close_pair(PieceGraph& graph, Incidence x, Incidence y, Point near, double reach, double tolerance) {
  if (graph.pieces[static_cast<std::size_t>(x.piece)].piece.kind == PieceKind::Arc) std::swap(x, y);
  GraphPiece& gx = graph.pieces[static_cast<std::size_t>(x.piece)];
  GraphPiece& gy = graph.pieces[static_cast<std::size_t>(y.piece)];
  if (tangent_join(gy, y.end, gx)) {
    // The line ends where the arc touches it: the foot of the arc's centre. A
    // line fitted within the tolerance runs on into the arc by up to √(2rt).
    const Point foot = project(gy.piece.circle.centre, line_through(gx));
    if (dist(foot, near) > reach + std::sqrt(2 * gy.piece.circle.radius * tolerance)) return;
    const GraphPiece keep = gx;
    const std::optional<Point> placed = move_end(gx, x.end, foot);
    if (!placed) return;
    if (!move_end(gy, y.end, *placed)) {
      gx = keep;
      return;
    }
    end_point(gy, y.end) = *placed;
    return;
  }
  std::optional<Point> at = meeting(carrier_of(gx), carrier_of(gy), near, reach / 2);
  if (!at || dist(*at, near) > reach) {
    // No corner to speak of: the two ends meet half way.
    const Point ex = end_point(gx, x.end), ey = end_point(gy, y.end);
    if (dist(ex, ey) > reach) return;
    at = Point{(ex.x + ey.x) / 2, (ex.y + ey.y) / 2};
  }
  if (rigidity(gy) < rigidity(gx)) std::swap(x, y);
  GraphPiece& first = graph.pieces[static_cast<std::size_t>(x.piece)];
  GraphPiece& second = graph.pieces[static_cast<std::size_t>(y.piece)];
  const GraphPiece keep_first = first;
  const std::optional<Point> placed = move_end(first, x.end, *at);
  if (!placed) return;
  if (!move_end(second, y.end, *placed)) first = keep_first;
}

void close_onto(PieceGraph& graph, Incidence stem, std::int32_t bar, Point near, double reach) {
  GraphPiece& g = graph.pieces[static_cast<std::size_t>(stem.piece)];
  const GraphPiece& b = graph.pieces[static_cast<std::size_t>(bar)];
  std::optional<Point> at = meeting(carrier_of(g), carrier_of(b), near, reach / 2);
  if (!at) {
    // Parallel to the bar: drop the end onto it.
    const Point e = end_point(g, stem.end);
    at = b.piece.kind == PieceKind::Line ? project(e, carrier_of(b).line) : onto_circle(e, b.piece.circle);
  }
  if (dist(*at, near) > reach) return;
  // The bar keeps its place; an axis bar's own coordinate is kept exactly.
  if (b.piece.kind == PieceKind::Line && b.axis == Axis::Horizontal) at->y = b.piece.a.y;
  if (b.piece.kind == PieceKind::Line && b.axis == Axis::Vertical) at->x = b.piece.a.x;
  move_end(g, stem.end, *at);
}

std::int32_t live(const PieceGraph& graph, std::vector<std::int32_t>& replaced, std::int32_t i) {
  std::int32_t end = i;
  while (end >= 0 && !graph.pieces[static_cast<std::size_t>(end)].alive) end = replaced[static_cast<std::size_t>(end)];
  // The way is shortened for the next look-up: a stroke merged piece by piece leaves a long one.
  while (i >= 0 && i != end) i = std::exchange(replaced[static_cast<std::size_t>(i)], end);
  return end;
}

}  // namespace

double piece_length(const Piece& piece) {
  switch (piece.kind) {
    case PieceKind::Line:
      return dist(piece.a, piece.b);
    case PieceKind::Arc:
      return piece.circle.radius * piece.sweep;
    case PieceKind::Circle:
      return 2 * kPi * piece.circle.radius;
  }
  return 0;
}

std::int32_t PieceGraph::add_vertex(Point position) {
  vertices.push_back({position, {}});
  return static_cast<std::int32_t>(vertices.size() - 1);
}

void PieceGraph::add(Piece piece, std::int32_t va, std::int32_t vb) {
  GraphPiece g;
  g.piece = std::move(piece);
  g.va = va;
  g.vb = vb;
  pieces.push_back(std::move(g));
}

std::vector<std::int32_t> PieceGraph::degrees() const {
  std::vector<std::int32_t> degree(vertices.size(), 0);
  for (const GraphPiece& g : pieces) {
    if (!g.alive || g.piece.kind == PieceKind::Circle) continue;
    if (g.va >= 0) ++degree[static_cast<std::size_t>(g.va)];
    if (g.vb >= 0) ++degree[static_cast<std::size_t>(g.vb)];
  }
  return degree;
}

void remove_whiskers(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop) {
  const double within = limits.stroke / 2 + 1.0;
  const double longest = 2 * limits.stroke + 3.0;
  for (int round = 0; round < 3; ++round) {
    const std::vector<std::int32_t> degree = graph.degrees();
    const EndsAt at(graph);
    bool removed = false;
    for (std::size_t i = 0; i < graph.pieces.size(); ++i) {
      if (!stop.keep_going()) return;
      GraphPiece& g = graph.pieces[i];
      if (!g.alive || g.piece.kind == PieceKind::Circle) continue;
      const double length = piece_length(g.piece);
      const bool free_a = g.va < 0 || degree[static_cast<std::size_t>(g.va)] == 1;
      const bool free_b = g.vb < 0 || degree[static_cast<std::size_t>(g.vb)] == 1;
      if (free_a && free_b) {
        if (length < limits.stroke / 2) {  // a speck
          g.alive = false;
          removed = true;
        }
        continue;
      }
      if (!(free_a || free_b) || length > longest) continue;
      const int free_end = free_a ? 0 : 1;
      const std::int32_t hub = end_vertex(g, 1 - free_end);
      // A stroke that runs into a blot is no spur of the strokes beside it.
      if (at[static_cast<std::size_t>(hub)].size() > kMostEndsAtAJoint) continue;
      const Point tip = end_point(g, free_end);
      double nearest = 1e300;
      // From a piece it leaves at an angle, a spur is measured to its carrier (a
      // spur into a sharp corner stops short of the pieces' ends); from one it
      // continues, to the piece itself.
      const Point spur = leaving(g, 1 - free_end);
      const auto consider = [&](const GraphPiece& other) {
        const bool along = other.piece.kind == PieceKind::Line &&
                           std::abs(cross(spur, unit(sub(other.piece.b, other.piece.a)))) < kWhiskerSine;
        nearest = std::min(nearest, along ? distance_to(other.piece, tip) : distance_to_carrier(other, tip));
      };
      for (const Incidence& other : at[static_cast<std::size_t>(hub)])
        if (other.piece != static_cast<std::int32_t>(i)) consider(graph.pieces[static_cast<std::size_t>(other.piece)]);
      for (std::int32_t t : graph.vertices[static_cast<std::size_t>(hub)].through)
        if (t >= 0 && graph.pieces[static_cast<std::size_t>(t)].alive)
          consider(graph.pieces[static_cast<std::size_t>(t)]);
      if (nearest <= within) {
        g.alive = false;
        removed = true;
      }
    }
    if (!removed) break;
  }
}

void contract_crossings(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop) {
  const double longest = 2 * limits.stroke + 2;
  const std::vector<std::int32_t> degree = graph.degrees();
  std::vector<std::int32_t> parent(graph.vertices.size());
  for (std::size_t v = 0; v < parent.size(); ++v) parent[v] = static_cast<std::int32_t>(v);
  const auto root = [&](std::int32_t v) {
    while (parent[static_cast<std::size_t>(v)] != v) v = parent[static_cast<std::size_t>(v)];
    return v;
  };
  bool contracted = false;
  for (GraphPiece& g : graph.pieces) {
    if (!stop.keep_going()) return;
    if (!g.alive || g.piece.kind == PieceKind::Circle || g.va < 0 || g.vb < 0 || g.va == g.vb) continue;
    // Two forks of three make one crossing of four; nothing bigger is built up.
    if (degree[static_cast<std::size_t>(g.va)] != 3 || degree[static_cast<std::size_t>(g.vb)] != 3) continue;
    if (piece_length(g.piece) > longest) continue;
    const std::int32_t a = root(g.va), b = root(g.vb);
    if (a != g.va || b != g.vb) continue;
    g.alive = false;
    parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
    Vertex& kept = graph.vertices[static_cast<std::size_t>(std::min(a, b))];
    const Point other = graph.vertices[static_cast<std::size_t>(std::max(a, b))].position;
    kept.position = {(kept.position.x + other.x) / 2, (kept.position.y + other.y) / 2};
    contracted = true;
  }
  if (!contracted) return;
  for (GraphPiece& g : graph.pieces) {
    if (g.va >= 0) g.va = root(g.va);
    if (g.vb >= 0) g.vb = root(g.vb);
  }
}

void remove_chamfers(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop) {
  const double longest = limits.stroke + 2 * limits.tolerance;
  const double corner_within = limits.stroke / 2 + limits.tolerance + 1.0;
  const std::vector<std::int32_t> degree = graph.degrees();
  std::vector<std::vector<Incidence>> at = incidences(graph);
  const auto other_at = [&](std::int32_t vertex, std::int32_t piece) -> std::optional<Incidence> {
    for (const Incidence& e : at[static_cast<std::size_t>(vertex)])
      if (e.piece != piece && graph.pieces[static_cast<std::size_t>(e.piece)].alive) return e;
    return std::nullopt;
  };
  for (std::size_t i = 0; i < graph.pieces.size(); ++i) {
    if (!stop.keep_going()) return;
    GraphPiece& g = graph.pieces[i];
    if (!g.alive || g.piece.kind == PieceKind::Circle || g.va < 0 || g.vb < 0 || g.va == g.vb) continue;
    if (degree[static_cast<std::size_t>(g.va)] != 2 || degree[static_cast<std::size_t>(g.vb)] != 2) continue;
    if (piece_length(g.piece) > longest) continue;
    const auto self = static_cast<std::int32_t>(i);
    const std::optional<Incidence> q = other_at(g.va, self), r = other_at(g.vb, self);
    if (!q || !r || q->piece == r->piece) continue;
    GraphPiece& gq = graph.pieces[static_cast<std::size_t>(q->piece)];
    GraphPiece& gr = graph.pieces[static_cast<std::size_t>(r->piece)];
    if (piece_length(gq.piece) <= piece_length(g.piece) || piece_length(gr.piece) <= piece_length(g.piece)) continue;
    // A corner, not a bend of one stroke: the two turn by more than the merging allows.
    if (-dot(leaving(gq, q->end), leaving(gr, r->end)) > kContinuationCosine) continue;
    const Point middle{(g.piece.a.x + g.piece.b.x) / 2, (g.piece.a.y + g.piece.b.y) / 2};
    const std::optional<Point> corner = meeting(carrier_of(gq), carrier_of(gr), middle, corner_within);
    if (!corner || dist(*corner, middle) > corner_within) continue;
    // The two now meet at the chamfer's first vertex.
    g.alive = false;
    (r->end == 0 ? gr.va : gr.vb) = g.va;
    graph.vertices[static_cast<std::size_t>(g.va)].position = *corner;
    at[static_cast<std::size_t>(g.va)].push_back(*r);
  }
}

void merge_continuations(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop) {
  for (std::size_t i = 0; i < graph.pieces.size(); ++i)
    if (graph.pieces[i].alive)
      if (const std::int32_t v = close_into_circle(graph.pieces[i], limits.junction_gap); v >= 0)
        graph.vertices[static_cast<std::size_t>(v)].through.push_back(static_cast<std::int32_t>(i));
  std::vector<std::vector<Incidence>> at = incidences(graph);
  std::vector<bool> blot(at.size());
  for (std::size_t v = 0; v < at.size(); ++v) blot[v] = at[v].size() > kMostEndsAtAJoint;
  // A blot's ends are never paired: its list is left as it is (it is long).
  const auto drop = [&](std::int32_t vertex, std::int32_t piece) {
    if (vertex < 0 || blot[static_cast<std::size_t>(vertex)]) return;
    std::vector<Incidence>& list = at[static_cast<std::size_t>(vertex)];
    list.erase(std::remove_if(list.begin(), list.end(), [&](const Incidence& e) { return e.piece == piece; }),
               list.end());
  };
  std::vector<std::int32_t> replaced(graph.pieces.size(), -1);
  std::vector<Incidence> ends;
  for (std::size_t v = 0; v < graph.vertices.size(); ++v) {
    if (blot[v]) continue;
    while (at[v].size() >= 2) {
      // Every pair of the ends may be tried.
      if (!stop.keep_going(static_cast<std::int64_t>(at[v].size() * at[v].size()))) return;
      ends.clear();
      for (const Incidence& e : at[v])
        if (graph.pieces[static_cast<std::size_t>(e.piece)].va != graph.pieces[static_cast<std::size_t>(e.piece)].vb)
          ends.push_back(e);
      if (ends.size() < 2) break;
      std::optional<GraphPiece> best;
      double best_turn = -2;
      std::pair<std::int32_t, std::int32_t> best_pair{-1, -1};
      for (std::size_t x = 0; x < ends.size(); ++x)
        for (std::size_t y = x + 1; y < ends.size(); ++y) {
          if (ends[x].piece == ends[y].piece) continue;
          GraphPiece& in = graph.pieces[static_cast<std::size_t>(ends[x].piece)];
          GraphPiece& out = graph.pieces[static_cast<std::size_t>(ends[y].piece)];
          // How straight the pair runs through the vertex: −1 folds back, 1 is straight on.
          const double turn = -dot(leaving(in, ends[x].end), leaving(out, ends[y].end));
          if (turn <= best_turn) continue;
          // Arcs are judged by their circles: a small one's tangents at the ends
          // the junction left out of its fit turn more than a line's would.
          if (turn < kJoinCosine && in.piece.kind == PieceKind::Line && out.piece.kind == PieceKind::Line) continue;
          // Turned (in place, and back) so that `in` runs into the vertex and `out` away from it.
          const bool turn_in = ends[x].end == 0, turn_out = ends[y].end == 1;
          if (turn_in) flip(in);
          if (turn_out) flip(out);
          // Two arcs of one circle make one arc; anything whose pixels lie along
          // one line (a bend too slight to be drawn, broken by a crossing) one line.
          std::optional<GraphPiece> merged;
          if (in.piece.kind == PieceKind::Arc || out.piece.kind == PieceKind::Arc)
            merged = merged_arcs(in, out, limits.tolerance);
          if (!merged) merged = merged_lines(in, out, limits.tolerance);
          if (turn_in) flip(in);
          if (turn_out) flip(out);
          if (!merged) continue;
          best = std::move(merged);
          best_turn = turn;
          best_pair = {ends[x].piece, ends[y].piece};
        }
      if (!best) break;
      for (std::int32_t p : {best_pair.first, best_pair.second}) {
        GraphPiece& old = graph.pieces[static_cast<std::size_t>(p)];
        old.alive = false;
        drop(old.va, p);
        drop(old.vb, p);
      }
      const std::int32_t closed_at = close_into_circle(*best, limits.junction_gap);
      const auto index = static_cast<std::int32_t>(graph.pieces.size());
      if (best->va >= 0 && !blot[static_cast<std::size_t>(best->va)])
        at[static_cast<std::size_t>(best->va)].push_back({index, 0});
      if (best->vb >= 0 && !blot[static_cast<std::size_t>(best->vb)])
        at[static_cast<std::size_t>(best->vb)].push_back({index, 1});
      graph.pieces.push_back(std::move(*best));
      replaced.push_back(-1);
      replaced[static_cast<std::size_t>(best_pair.first)] = index;
      replaced[static_cast<std::size_t>(best_pair.second)] = index;
      graph.vertices[v].through.push_back(index);
      if (closed_at >= 0 && closed_at != static_cast<std::int32_t>(v))
        graph.vertices[static_cast<std::size_t>(closed_at)].through.push_back(index);
    }
  }
  // Through-pieces that were merged again point at what they became.
  for (Vertex& vertex : graph.vertices)
    for (std::int32_t& t : vertex.through) t = live(graph, replaced, t);
}

std::size_t straighten_slight_arcs(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop) {
  std::size_t straightened = 0;
  const std::vector<std::int32_t> degree = graph.degrees();
  const auto junction = [&](std::int32_t v) {
    return v >= 0 &&
           (degree[static_cast<std::size_t>(v)] >= 3 || !graph.vertices[static_cast<std::size_t>(v)].through.empty());
  };
  for (GraphPiece& g : graph.pieces) {
    if (!stop.keep_going()) break;
    if (!g.alive || g.piece.kind != PieceKind::Arc || !(junction(g.va) || junction(g.vb))) continue;
    const FitResult<LineFit> line = fit_line(g.piece.samples, limits.tolerance);
    if (!line) continue;
    make_line(g.piece, *line.fit, g.piece.a, g.piece.b);
    ++straightened;
  }
  return straightened;
}

void close_corners(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop) {
  const double reach = 2 * limits.stroke + 3 * limits.tolerance;
  const EndsAt at(graph);
  // Arcs first touch the lines they run into.
  for (std::size_t i = 0; i < graph.pieces.size(); ++i) {
    if (!stop.keep_going()) return;
    GraphPiece& arc = graph.pieces[i];
    if (!arc.alive || arc.piece.kind != PieceKind::Arc) continue;
    const GraphPiece* lines[2] = {nullptr, nullptr};
    for (int end = 0; end < 2; ++end) {
      const std::int32_t v = end_vertex(arc, end);
      if (v < 0 || at[static_cast<std::size_t>(v)].size() != 2 ||
          !graph.vertices[static_cast<std::size_t>(v)].through.empty())
        continue;
      for (const Incidence& e : at[static_cast<std::size_t>(v)])
        if (e.piece != static_cast<std::int32_t>(i) &&
            tangent_join(arc, end, graph.pieces[static_cast<std::size_t>(e.piece)]))
          lines[end] = &graph.pieces[static_cast<std::size_t>(e.piece)];
    }
    if (lines[0] || lines[1]) fit_arc_to_tangents(arc, lines[0], lines[1]);
  }
  std::vector<std::int32_t> bars;
  for (std::size_t v = 0; v < graph.vertices.size(); ++v) {
    if (!stop.keep_going()) return;
    const std::span<const Incidence> ends = at[v];
    if (ends.empty() || ends.size() > kMostEndsAtAJoint) continue;
    const Vertex& vertex = graph.vertices[v];
    bars.clear();
    for (std::int32_t t : vertex.through)
      if (t >= 0 && graph.pieces[static_cast<std::size_t>(t)].alive) bars.push_back(t);
    if (!bars.empty()) {
      // Stems end on the piece that runs through, the nearest where several do.
      for (const Incidence& e : ends) {
        std::int32_t nearest = bars.front();
        for (std::int32_t b : bars)
          if (distance_to(graph.pieces[static_cast<std::size_t>(b)].piece, vertex.position) <
              distance_to(graph.pieces[static_cast<std::size_t>(nearest)].piece, vertex.position))
            nearest = b;
        close_onto(graph, e, nearest, vertex.position, reach);
      }
      continue;
    }
    if (ends.size() == 2) {
      close_pair(graph, ends[0], ends[1], vertex.position, reach, limits.tolerance);
      continue;
    }
    if (ends.size() >= 3) {
      // No piece runs through: the two that run most nearly straight on make the
      // bar, and the others end on it.
      std::size_t bx = 0, by = 1;
      double straightest = 2;
      for (std::size_t x = 0; x < ends.size(); ++x)
        for (std::size_t y = x + 1; y < ends.size(); ++y) {
          const double c = dot(leaving(graph.pieces[static_cast<std::size_t>(ends[x].piece)], ends[x].end),
                               leaving(graph.pieces[static_cast<std::size_t>(ends[y].piece)], ends[y].end));
          if (c < straightest) {
            straightest = c;
            bx = x;
            by = y;
          }
        }
      close_pair(graph, ends[bx], ends[by], vertex.position, reach, limits.tolerance);
      for (std::size_t k = 0; k < ends.size(); ++k)
        if (k != bx && k != by) close_onto(graph, ends[k], ends[bx].piece, vertex.position, reach);
    }
  }
}

void export_drawing(const PieceGraph& graph, double min_arc_radians, CadDrawing& drawing) {
  for (const GraphPiece& g : graph.pieces) {
    if (!g.alive) continue;
    const Piece& p = g.piece;
    switch (p.kind) {
      case PieceKind::Line:
        if (dist(p.a, p.b) > 0) drawing.lines.push_back({p.a, p.b});
        break;
      case PieceKind::Arc: {
        if (p.sweep < min_arc_radians) {
          if (dist(p.a, p.b) > 0) drawing.lines.push_back({p.a, p.b});
          break;
        }
        Arc arc{p.circle.centre, p.circle.radius, angle_of(p.circle.centre, p.ccw ? p.a : p.b), p.sweep};
        if (arc.start < 0) arc.start += 2 * kPi;
        if (arc.start >= 2 * kPi) arc.start -= 2 * kPi;
        drawing.arcs.push_back(arc);
        break;
      }
      case PieceKind::Circle:
        drawing.circles.push_back({p.circle.centre, p.circle.radius});
        break;
    }
  }
  const std::vector<std::int32_t> degree = graph.degrees();
  const EndsAt at(graph);
  for (std::size_t v = 0; v < graph.vertices.size(); ++v) {
    std::size_t through = 0;
    for (std::int32_t t : graph.vertices[v].through)
      if (t >= 0 && graph.pieces[static_cast<std::size_t>(t)].alive) ++through;
    if (degree[v] == 1 && through == 0) {
      const Incidence& e = at[v].front();
      drawing.free_ends.push_back(end_point(graph.pieces[static_cast<std::size_t>(e.piece)], e.end));
    } else if (static_cast<std::size_t>(degree[v]) + 2 * through >= 3) {
      drawing.junctions.push_back(
          at[v].empty() ? graph.vertices[v].position
                        : end_point(graph.pieces[static_cast<std::size_t>(at[v].front().piece)], at[v].front().end));
    }
  }
}

}  // namespace vp::cad
