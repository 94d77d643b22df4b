#include "cad/segmentation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "cad/plane.h"

namespace vp::cad {

namespace {

constexpr double kPi = std::numbers::pi;
// An arc costs a little more than a line: where both hold, the line wins,
// unless the line strays further than a straight stroke's pixels would.
constexpr double kArcCost = 1.001;
constexpr double kDoubtfulLineCost = 1.002;
constexpr double kDoubtfulLinePixels = 0.8;
constexpr double kDoubtfulLineShare = 0.5;  // of the tolerance
// Among splits of as many pieces, the one whose pieces keep closest to their pixels.
constexpr double kDeviationCost = 0.0004;
// Candidate break points: the vertices of a Douglas-Peucker simplification at
// this share of the tolerance, and extra points on long stretches between them.
constexpr double kCandidateShare = 0.5;
constexpr std::size_t kMaxCandidateGap = 24;
// Longer straight stretches need no extra points: nothing bends inside them.
constexpr std::size_t kLongestSplitStretch = 240;
// A span that fails this many candidates in a row is not extended further.
constexpr int kFailuresToStop = 4;
constexpr std::size_t kSamples = 40;
constexpr double kScreenTolerances = 1.5;
constexpr double kScreenSweepShare = 0.7;

bool abandoned(const SegmentationLimits& limits) {
  return limits.abandon && limits.abandon->load(std::memory_order_relaxed);
}

// Stops early, with some vertices missing, once the work is abandoned.
void douglas_peucker(std::span<const Point> px, std::size_t first, std::size_t last, double eps,
                     std::vector<std::size_t>& out, const SegmentationLimits& limits) {
  std::vector<std::pair<std::size_t, std::size_t>> stack{{first, last}};
  while (!stack.empty() && !abandoned(limits)) {
    const auto [i, j] = stack.back();
    stack.pop_back();
    if (j <= i + 1) continue;
    const double dx = px[j].x - px[i].x, dy = px[j].y - px[i].y, len = length_of(dx, dy);
    double worst = -1;
    std::size_t at = i;
    for (std::size_t k = i + 1; k < j; ++k) {
      const double ex = px[k].x - px[i].x, ey = px[k].y - px[i].y;
      const double d = len > 0 ? std::abs(ex * dy - ey * dx) / len : length_of(ex, ey);
      if (d > worst) {
        worst = d;
        at = k;
      }
    }
    if (worst > eps) {
      out.push_back(at);
      stack.push_back({i, at});
      stack.push_back({at, j});
    }
  }
}

std::vector<std::size_t> candidates(std::span<const Point> px, const SegmentationLimits& limits) {
  std::vector<std::size_t> c{0, px.size() - 1};
  douglas_peucker(px, 0, px.size() - 1, kCandidateShare * limits.tolerance, c, limits);
  std::sort(c.begin(), c.end());
  c.erase(std::unique(c.begin(), c.end()), c.end());
  std::vector<std::size_t> out;
  for (std::size_t k = 0; k + 1 < c.size(); ++k) {
    out.push_back(c[k]);
    const std::size_t gap = c[k + 1] - c[k];
    const std::size_t extra = gap > kLongestSplitStretch ? 0 : gap / kMaxCandidateGap;
    for (std::size_t e = 1; e <= extra; ++e) out.push_back(c[k] + gap * e / (extra + 1));
  }
  out.push_back(c.back());
  return out;
}

std::vector<Point> samples_of(std::span<const Point> px, std::size_t i, std::size_t j) {
  std::vector<Point> s;
  const std::size_t step = std::max<std::size_t>(1, (j - i) / kSamples);
  for (std::size_t k = i; k < j; k += step) s.push_back((px[k]));
  s.push_back((px[j]));
  return s;
}

// The signed sweep of pixels [i, j] about c, through its quarter points.
double sweep_of(std::span<const Point> px, std::size_t i, std::size_t j, Point c) {
  double total = 0;
  Point prev = px[i];
  for (int q = 1; q <= 4; ++q) {
    const Point p = px[i + (j - i) * static_cast<std::size_t>(q) / 4];
    total += wrapped(angle_of(c, p) - angle_of(c, prev));
    prev = p;
  }
  return total;
}

struct ArcCheck {
  bool ok = false;
  CircleFit circle;
  double sweep = 0;
  double worst = 0;  // the furthest pixel's distance
};

ArcCheck check_arc(std::span<const Point> px, const PixelSums& sums, std::size_t i, std::size_t j,
                   const SegmentationLimits& limits) {
  ArcCheck check;
  if (j < i + std::max<std::size_t>(4, limits.min_arc_pixels)) return check;
  std::optional<CircleFit> circle = sums.circle(i, j);
  if (!circle || !(circle->radius <= limits.max_radius)) return check;
  // The algebraic fit decides where it holds (the final arc is refined
  // geometrically); where it misses by a little, the geometric fit decides.
  double worst = max_distance(px, i, j, *circle, kScreenTolerances * limits.tolerance);
  if (worst > kScreenTolerances * limits.tolerance) return check;
  if (std::abs(sweep_of(px, i, j, circle->centre)) < kScreenSweepShare * limits.min_arc_radians) return check;
  if (worst > limits.tolerance) {
    circle = refine_circle(px, i, j, *circle);
    worst = max_distance(px, i, j, *circle, limits.tolerance);
    if (worst > limits.tolerance) return check;
  }
  if (!(circle->radius <= limits.max_radius) || !(circle->radius >= limits.min_radius)) return check;
  const double sweep = sweep_of(px, i, j, circle->centre);
  if (!(std::abs(sweep) >= limits.min_arc_radians) || std::abs(sweep) >= 2 * kPi) return check;
  check = {true, *circle, sweep, worst};
  return check;
}

// The line's cost when it holds (1, or more when it strays), else 0.
double check_line(std::span<const Point> px, const PixelSums& sums, std::size_t i, std::size_t j, double tolerance,
                  LineFit& fit) {
  const std::optional<LineFit> line = sums.line(i, j);
  if (!line) return 0;
  const double worst = max_distance(px, i, j, *line, tolerance);
  if (worst > tolerance) return 0;
  fit = *line;
  return (worst > std::max(kDoubtfulLinePixels, kDoubtfulLineShare * tolerance) ? kDoubtfulLineCost : 1.0) +
         kDeviationCost * worst / tolerance;
}

Piece line_piece(std::span<const Point> px, std::size_t i, std::size_t j, const LineFit& fit) {
  Piece piece;
  piece.kind = PieceKind::Line;
  piece.line = fit;
  piece.a = project((px[i]), fit);
  piece.b = project((px[j]), fit);
  piece.samples = samples_of(px, i, j);
  return piece;
}

Piece arc_piece(std::span<const Point> px, std::size_t i, std::size_t j, const ArcCheck& arc, double tolerance) {
  Piece piece;
  piece.kind = PieceKind::Arc;
  // The geometric fit where it holds as well: the algebraic one is biased on short arcs.
  const CircleFit refined = refine_circle(px, i, j, arc.circle);
  piece.circle = max_distance(px, i, j, refined, tolerance) <= tolerance ? refined : arc.circle;
  piece.a = onto_circle((px[i]), piece.circle);
  piece.b = onto_circle((px[j]), piece.circle);
  piece.ccw = arc.sweep > 0;
  piece.sweep = std::abs(sweep_of(px, i, j, piece.circle.centre));
  piece.samples = samples_of(px, i, j);
  return piece;
}

}  // namespace

void extend_end(Piece& piece, int end, Point to) {
  Point& at = end == 0 ? piece.a : piece.b;
  if (piece.kind == PieceKind::Line) {
    at = project(to, piece.line);
    return;
  }
  if (piece.kind != PieceKind::Arc) return;
  const Point moved = onto_circle(to, piece.circle);
  const double change = wrapped(angle_of(piece.circle.centre, moved) - angle_of(piece.circle.centre, at));
  const double turn = piece.ccw ? change : -change;
  const double sweep = end == 1 ? piece.sweep + turn : piece.sweep - turn;
  if (!(sweep > 0) || sweep >= 2 * kPi) return;
  piece.sweep = sweep;
  at = moved;
}

std::vector<Piece> segment_open(std::span<const Point> px, const SegmentationLimits& limits) {
  std::vector<Piece> pieces;
  if (px.size() < 2) return pieces;
  const PixelSums sums(px);
  const std::vector<std::size_t> cand = candidates(px, limits);
  const std::size_t m = cand.size();
  constexpr double kNone = std::numeric_limits<double>::infinity();
  std::vector<double> best(m, kNone);
  std::vector<std::size_t> from(m, 0);
  std::vector<bool> as_arc(m, false);
  std::vector<LineFit> lines(m);
  std::vector<ArcCheck> arcs(m);
  best[0] = 0;
  for (std::size_t a = 0; a + 1 < m; ++a) {
    if (abandoned(limits)) return pieces;
    if (best[a] == kNone) continue;
    int line_failures = 0, arc_failures = 0;
    for (std::size_t b = a + 1; b < m && (line_failures < kFailuresToStop || arc_failures < kFailuresToStop); ++b) {
      LineFit fit;
      double cost = 0;
      if (line_failures < kFailuresToStop) {
        cost = check_line(px, sums, cand[a], cand[b], limits.tolerance, fit);
        if (cost == 0 && b == a + 1) {
          // Neighbouring candidates always join, by their chord at worst.
          const Point p = (px[cand[a]]), q = (px[cand[b]]);
          const double len = length_of(q.x - p.x, q.y - p.y);
          fit = {p, len > 0 ? Point{(q.x - p.x) / len, (q.y - p.y) / len} : Point{1, 0}};
          cost = kDoubtfulLineCost;
        }
        if (cost > 0) {
          line_failures = 0;
          if (best[a] + cost < best[b]) {
            best[b] = best[a] + cost;
            from[b] = a;
            as_arc[b] = false;
            lines[b] = fit;
          }
        } else {
          ++line_failures;
        }
      }
      // An arc never beats a line that keeps as close as a straight stroke does.
      const bool plain_line = cost > 0 && cost < kArcCost;
      if (arc_failures < kFailuresToStop && !plain_line) {
        const ArcCheck arc = check_arc(px, sums, cand[a], cand[b], limits);
        if (arc.ok) {
          arc_failures = 0;
          const double cost = kArcCost + kDeviationCost * arc.worst / limits.tolerance;
          if (best[a] + cost < best[b]) {
            best[b] = best[a] + cost;
            from[b] = a;
            as_arc[b] = true;
            arcs[b] = arc;
          }
        } else if (b > a + 2) {  // an arc needs room before it can fail for good
          ++arc_failures;
        }
      }
    }
  }
  if (best[m - 1] == kNone) return pieces;  // cannot happen: neighbours always join
  for (std::size_t b = m - 1; b > 0; b = from[b]) {
    const std::size_t a = from[b];
    pieces.push_back(as_arc[b] ? arc_piece(px, cand[a], cand[b], arcs[b], limits.tolerance)
                               : line_piece(px, cand[a], cand[b], lines[b]));
  }
  std::reverse(pieces.begin(), pieces.end());
  return pieces;
}

std::vector<Piece> straight_piece(std::span<const Point> px) {
  std::vector<Piece> pieces;
  if (px.size() < 2) return pieces;
  const PixelSums sums(px);
  const std::size_t last = px.size() - 1;
  const std::optional<LineFit> fit = sums.line(0, last);
  if (!fit) return pieces;
  pieces.push_back(line_piece(px, 0, last, *fit));
  return pieces;
}

std::vector<Piece> segment_closed(std::span<const Point> px, const SegmentationLimits& limits) {
  std::vector<Piece> pieces;
  if (px.size() < 3 || abandoned(limits)) return pieces;
  if (const FitResult<CircleFit> circle =
          fit_circle(px, limits.tolerance, std::max(limits.min_radius, 2.0), limits.max_radius)) {
    Piece piece;
    piece.kind = PieceKind::Circle;
    piece.circle = *circle.fit;
    piece.a = piece.b = onto_circle(px.front(), piece.circle);
    piece.sweep = 2 * kPi;
    piece.samples = samples_of(px, 0, px.size() - 1);
    pieces.push_back(std::move(piece));
    return pieces;
  }
  // Start in the middle of the longest straight stretch of a rough outline: the
  // first and last pieces are then one line cut in two, which the merging joins,
  // and no corner is split between them.
  const std::size_t n = px.size();
  std::size_t far = 0;
  double far_d = -1;
  for (std::size_t k = 0; k < n; ++k) {
    const double d = length_of(px[k].x - px[0].x, px[k].y - px[0].y);
    if (d > far_d) {
      far_d = d;
      far = k;
    }
  }
  std::vector<std::size_t> outline{0, far, n};
  std::vector<Point> wrapped_px(px.begin(), px.end());
  wrapped_px.push_back(px[0]);
  douglas_peucker(wrapped_px, 0, far, limits.tolerance, outline, limits);
  douglas_peucker(wrapped_px, far, n, limits.tolerance, outline, limits);
  if (abandoned(limits)) return pieces;
  std::sort(outline.begin(), outline.end());
  outline.erase(std::unique(outline.begin(), outline.end()), outline.end());
  std::size_t start = 0, longest = 0;
  for (std::size_t k = 0; k + 1 < outline.size(); ++k)
    if (outline[k + 1] - outline[k] > longest) {
      longest = outline[k + 1] - outline[k];
      start = (outline[k] + outline[k + 1]) / 2 % n;
    }
  std::vector<Point> run;
  run.reserve(n + 1);
  for (std::size_t k = 0; k <= n; ++k) run.push_back(px[(start + k) % n]);
  return segment_open(run, limits);
}

}  // namespace vp::cad
