#include "tests/support/cad_score.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

#include "cad/cad_stage.h"
#include "raster/thinning.h"
#include "scan/dust_removal.h"
#include "scan/pass_advisor.h"
#include "scan/threshold.h"
#include "tests/support/degraded_scan.h"

namespace vp::testing {

namespace {

using cad::Point;
constexpr double kPi = std::numbers::pi;
constexpr double kCoincide = 1e-6;

double normalised(double a) {
  a = std::fmod(a, 2 * kPi);
  return a < 0 ? a + 2 * kPi : a;
}

// Any drawing as pieces that can be sampled and measured against.
struct Shape {
  enum Kind { Line, Arc } kind;
  Point a, b;  // line
  Point c;
  double r = 0, start = 0, sweep = 0;  // arc (a circle sweeps 2π)

  double distance(Point p) const {
    if (kind == Line) {
      const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
      const double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
      return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
    }
    if (sweep >= 2 * kPi || normalised(std::atan2(p.y - c.y, p.x - c.x) - start) <= sweep)
      return std::abs(std::hypot(p.x - c.x, p.y - c.y) - r);
    const Point s{c.x + r * std::cos(start), c.y + r * std::sin(start)};
    const Point e{c.x + r * std::cos(start + sweep), c.y + r * std::sin(start + sweep)};
    return std::min(std::hypot(p.x - s.x, p.y - s.y), std::hypot(p.x - e.x, p.y - e.y));
  }
  double length() const { return kind == Line ? std::hypot(b.x - a.x, b.y - a.y) : r * sweep; }
  // Points every pixel or so along the piece.
  void sample(const std::function<void(Point)>& f) const {
    const int n = std::max(1, static_cast<int>(std::ceil(length())));
    for (int i = 0; i <= n; ++i) {
      const double t = static_cast<double>(i) / n;
      if (kind == Line) {
        f({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
      } else {
        f({c.x + r * std::cos(start + t * sweep), c.y + r * std::sin(start + t * sweep)});
      }
    }
  }
  std::vector<Point> ends() const {
    if (kind == Line) return {a, b};
    if (sweep >= 2 * kPi) return {};
    return {{c.x + r * std::cos(start), c.y + r * std::sin(start)},
            {c.x + r * std::cos(start + sweep), c.y + r * std::sin(start + sweep)}};
  }
};

std::vector<Shape> shapes_of(const cad::CadDrawing& d) {
  std::vector<Shape> out;
  for (const cad::Line& l : d.lines) out.push_back({Shape::Line, l.a, l.b, {}, 0, 0, 0});
  for (const cad::Arc& a : d.arcs) out.push_back({Shape::Arc, {}, {}, a.centre, a.radius, a.start, a.sweep});
  for (const cad::Circle& c : d.circles) out.push_back({Shape::Arc, {}, {}, c.centre, c.radius, 0, 2 * kPi});
  return out;
}

double nearest(const std::vector<Shape>& shapes, Point p, const Shape* skip = nullptr) {
  double best = 1e300;
  for (const Shape& s : shapes)
    if (&s != skip) best = std::min(best, s.distance(p));
  return best;
}

// Share of the samples of `from` within `within` of `to`.
double covered(const std::vector<Shape>& from, const std::vector<Shape>& to, double within) {
  std::int64_t all = 0, near = 0;
  for (const Shape& s : from)
    s.sample([&](Point p) {
      ++all;
      if (nearest(to, p) <= within) ++near;
    });
  return all == 0 ? 1.0 : static_cast<double>(near) / static_cast<double>(all);
}

}  // namespace

cad::CadDrawing fit_sheet(const CadSheet& sheet, bool scanned) {
  PixelGrid grid;
  grid.reset(sheet.ink.width, sheet.ink.height);
  if (scanned) {
    // A worn scan: sensor noise, light falling off across the sheet, dust.
    ScanLook look;
    look.blur = 1.0;
    look.noise = 8;
    look.light_falloff = 0.3;
    look.dust = 30;
    look.seed = static_cast<std::uint32_t>(sheet.ink.ink_count());
    const ScanImage scan = degrade(sheet.ink, look);
    const scan::GreySource source = [&scan](const GreyRowSink& sink) {
      for (std::int32_t y = 0; y < scan.height; ++y)
        if (!sink(y, std::span(scan.pixels)
                         .subspan(static_cast<std::size_t>(y) * static_cast<std::size_t>(scan.width),
                                  static_cast<std::size_t>(scan.width))))
          break;
      return ImageStatus::Ok;
    };
    scan::apply_threshold({scan::ThresholdRule::Auto}, scan.width, scan.height, source,
                          [&](std::int32_t r, std::span<const std::uint64_t> row) {
                            grid.set_image_row(r, row);
                            return true;
                          });
    scan::remove_specks(grid, 8);
  } else {
    for (std::int32_t r = 0; r < sheet.ink.height; ++r) grid.set_image_row(r, sheet.ink.row(r));
  }
  const cad::InkCopy before = cad::InkCopy::of(grid);
  NoProgress quiet;
  run_thinning(grid, advise_passes(grid).passes, quiet);
  cad::CadParams params;
  params.ink = &before;
  cad::CadDrawing drawing;
  cad::build_cad_drawing(grid, params, drawing, quiet);
  return drawing;
}

CadScore score_drawing(const cad::CadDrawing& output, const CadSheet& sheet) {
  CadScore score;
  const cad::CadDrawing& truth = sheet.truth;
  const double tolerance = std::max(1.5, sheet.stroke / 2);
  const double fit_accuracy = std::max(1.0, sheet.stroke / 4);
  const std::vector<Shape> drawn = shapes_of(truth), got = shapes_of(output);
  score.recall = covered(drawn, got, tolerance);
  score.precision = covered(got, drawn, tolerance);
  score.within_1px = covered(got, drawn, 1.0);
  score.entities = static_cast<std::int32_t>(output.entity_count());
  score.drawn_entities = static_cast<std::int32_t>(truth.entity_count());

  const auto same_circle = [&](Point c, double r, Point oc, double orad) {
    return std::hypot(c.x - oc.x, c.y - oc.y) <= fit_accuracy && std::abs(r - orad) <= fit_accuracy;
  };
  for (const cad::Circle& c : truth.circles) {
    ++score.circles;
    for (const cad::Circle& o : output.circles)
      if (same_circle(c.centre, c.radius, o.centre, o.radius)) {
        ++score.circles_found;
        break;
      }
  }
  for (const cad::Arc& a : truth.arcs) {
    ++score.arcs;
    for (const cad::Arc& o : output.arcs) {
      if (!same_circle(a.centre, a.radius, o.centre, o.radius)) continue;
      int in = 0;
      constexpr int kSteps = 90;
      for (int k = 0; k <= kSteps; ++k)
        if (normalised(a.start + a.sweep * k / kSteps - o.start) <= o.sweep + 1e-9) ++in;
      if (in >= 0.9 * (kSteps + 1)) {
        ++score.arcs_found;
        break;
      }
    }
  }
  // A corner is closed where an output end lies within 1 px of it and another
  // piece ends at the very same point or passes through it.
  std::vector<std::pair<Point, const Shape*>> ends;
  for (const Shape& s : got)
    for (Point e : s.ends()) ends.push_back({e, &s});
  for (const Point& corner : sheet.corners) {
    ++score.corners;
    bool closed = false;
    for (const auto& [e, owner] : ends) {
      if (std::hypot(e.x - corner.x, e.y - corner.y) > 1.0) continue;
      if (nearest(got, e, owner) <= kCoincide) closed = true;
    }
    if (closed) ++score.corners_closed;
  }
  // Every output line along a drawn axis line must be exactly on its axis.
  for (const cad::Line& t : truth.lines) {
    const bool horizontal = t.a.y == t.b.y, vertical = t.a.x == t.b.x;
    if (!horizontal && !vertical) continue;
    ++score.axis_lines;
    const Shape truth_line{Shape::Line, t.a, t.b, {}, 0, 0, 0};
    int along = 0, exact = 0;
    for (const cad::Line& o : output.lines) {
      const double len = std::hypot(o.b.x - o.a.x, o.b.y - o.a.y);
      if (len < 3 * tolerance) continue;
      const Point mid{(o.a.x + o.b.x) / 2, (o.a.y + o.b.y) / 2};
      const bool parallel = horizontal ? std::abs(o.b.y - o.a.y) < 0.2 * len : std::abs(o.b.x - o.a.x) < 0.2 * len;
      if (!parallel || truth_line.distance(mid) > tolerance || truth_line.distance(o.a) > tolerance ||
          truth_line.distance(o.b) > tolerance)
        continue;
      ++along;
      if (horizontal ? o.a.y == o.b.y : o.a.x == o.b.x) ++exact;
    }
    if (along > 0 && exact == along) ++score.axis_lines_exact;
  }
  // Whiskers: output lines under 3 px with an end that meets nothing.
  for (const Shape& s : got) {
    if (s.kind != Shape::Line || s.length() >= 3) continue;
    for (Point e : s.ends())
      if (nearest(got, e, &s) > kCoincide) {
        ++score.whiskers;
        break;
      }
  }
  return score;
}

}  // namespace vp::testing
