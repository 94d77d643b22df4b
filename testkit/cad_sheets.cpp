#include "testkit/cad_sheets.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "testkit/splitmix.h"

namespace vp {

namespace {

using cad::Point;
constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr std::int32_t kWidth = 1400;
constexpr std::int32_t kHeight = 1000;
// The frame stays inside the image when turned by the largest skew the sheets are drawn with.
constexpr double kFrame = 40;

Point add(Point a, Point b) { return {a.x + b.x, a.y + b.y}; }
Point polar(Point c, double r, double angle) { return {c.x + r * std::cos(angle), c.y + r * std::sin(angle)}; }

double normalised(double angle) {
  angle = std::fmod(angle, 2 * kPi);
  return angle < 0 ? angle + 2 * kPi : angle;
}

// Builds the truth piece by piece, remembering where pieces meet at an angle.
class SheetBuilder {
 public:
  explicit SheetBuilder(CadSheet& sheet) : sheet_(sheet) {}

  void line(Point a, Point b) { sheet_.truth.lines.push_back({a, b}); }
  void circle(Point c, double r) { sheet_.truth.circles.push_back({c, r}); }
  void arc(Point c, double r, double start, double sweep) {
    sheet_.truth.arcs.push_back({c, r, normalised(start), sweep});
  }
  void corner(Point p) { sheet_.corners.push_back(p); }

  // Straight sides; every vertex where two sides meet is a corner.
  void polyline(const std::vector<Point>& points, bool closed) {
    const std::size_t n = points.size();
    for (std::size_t i = 0; i + 1 < n; ++i) line(points[i], points[i + 1]);
    if (closed) line(points[n - 1], points[0]);
    for (std::size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) corner(points[i]);
  }

  // A rectangle turned by `angle` about its first corner, with its corners.
  void rectangle(Point origin, double w, double h, double angle) {
    const Point u{std::cos(angle), std::sin(angle)}, v{-std::sin(angle), std::cos(angle)};
    polyline({origin, add(origin, {w * u.x, w * u.y}), add(origin, {w * u.x + h * v.x, w * u.y + h * v.y}),
              add(origin, {h * v.x, h * v.y})},
             true);
  }

  // An axis-parallel rectangle whose corners are rounded with radius r (tangent arcs).
  void rounded_rectangle(double x0, double y0, double x1, double y1, double r) {
    line({x0 + r, y0}, {x1 - r, y0});
    line({x1, y0 + r}, {x1, y1 - r});
    line({x1 - r, y1}, {x0 + r, y1});
    line({x0, y1 - r}, {x0, y0 + r});
    arc({x1 - r, y0 + r}, r, -kPi / 2, kPi / 2);
    arc({x1 - r, y1 - r}, r, 0, kPi / 2);
    arc({x0 + r, y1 - r}, r, kPi / 2, kPi / 2);
    arc({x0 + r, y0 + r}, r, kPi, kPi / 2);
  }

  // A stem from `foot` (on another piece) to `end`: the foot is a T-junction.
  void stem(Point foot, Point end) {
    line(foot, end);
    corner(foot);
  }

 private:
  CadSheet& sheet_;
};

void plan(SheetBuilder& b, SplitMix64& rng) {
  const double x0 = rng.range(60, 120), y0 = rng.range(60, 120);
  const double x1 = kWidth - rng.range(60, 120), y1 = kHeight - rng.range(60, 120);
  b.polyline({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true);
  // Inner walls, each a T on the outer walls.
  const double wall_x = rng.range(x0 + 350, x1 - 350);
  b.line({wall_x, y0}, {wall_x, y1});
  b.corner({wall_x, y0});
  b.corner({wall_x, y1});
  const double wall_y = rng.range(y0 + 250, y1 - 250);
  b.line({x0, wall_y}, {wall_x, wall_y});
  b.corner({x0, wall_y});
  b.corner({wall_x, wall_y});
  const double room_y = rng.range(y0 + 250, y1 - 250);
  b.line({wall_x, room_y}, {x1, room_y});
  b.corner({wall_x, room_y});
  b.corner({x1, room_y});
  // Door swings: a leaf square to its wall and a quarter arc back to the wall.
  const double leaf = rng.range(70, 110);
  const Point hinge1{rng.range(x0 + 40, wall_x - leaf - 40), wall_y};
  b.stem(hinge1, {hinge1.x, wall_y + leaf});
  b.arc(hinge1, leaf, 0, kPi / 2);
  b.corner({hinge1.x, wall_y + leaf});
  const Point hinge2{wall_x, rng.range(room_y + 40, y1 - leaf - 40)};
  b.stem(hinge2, {wall_x + leaf, hinge2.y});
  b.arc(hinge2, leaf, 0, kPi / 2);
  b.corner({wall_x + leaf, hinge2.y});
  // A window: two short lines inside a wall's opening.
  const double wx = rng.range(wall_x + 60, x1 - 200);
  b.line({wx, y0 + 12}, {wx + 120, y0 + 12});
}

void flange(SheetBuilder& b, SplitMix64& rng) {
  const Point c{kWidth / 2.0 + rng.range(-40, 40), kHeight / 2.0 + rng.range(-30, 30)};
  const double outer = rng.range(300, 390), bore = rng.range(60, 120), pitch = (outer + bore) / 2;
  b.circle(c, outer);
  b.circle(c, bore);
  const int holes = rng.integer(4, 8);
  const double hole = rng.range(12, std::min(30.0, pitch * kPi / holes / 3));
  // Holes between the centre lines, or on them (crossed by them).
  const double offset = rng.chance(0.5) ? 0.5 : 0.0;
  for (int i = 0; i < holes; ++i) b.circle(polar(c, pitch, (i + offset) * 2 * kPi / holes), hole);
  // Centre lines across the whole part.
  b.line({c.x - outer - 30, c.y}, {c.x + outer + 30, c.y});
  b.line({c.x, c.y - outer - 30}, {c.x, c.y + outer + 30});
}

void bracket(SheetBuilder& b, SplitMix64& rng) {
  // An L-shaped outline: sharp outer corners, a fillet in the inner corner.
  const double x0 = rng.range(80, 140), y0 = rng.range(80, 140);
  const double x1 = rng.range(900, 1250), y1 = rng.range(700, 880);
  const double arm = rng.range(200, 280), fillet = rng.range(25, 60);
  const double xi = x0 + arm, yi = y0 + arm;
  b.line({x0, y0}, {x1, y0});
  b.line({x1, y0}, {x1, yi});
  b.line({x1, yi}, {xi + fillet, yi});
  b.arc({xi + fillet, yi + fillet}, fillet, kPi, kPi / 2);
  b.line({xi, yi + fillet}, {xi, y1});
  b.line({xi, y1}, {x0, y1});
  b.line({x0, y1}, {x0, y0});
  for (Point p : {Point{x0, y0}, Point{x1, y0}, Point{x1, yi}, Point{xi, y1}, Point{x0, y1}}) b.corner(p);
  // Holes and a slot (two lines and two half circles).
  b.circle({(x0 + xi) / 2, (y1 + yi) / 2 + 40}, rng.range(20, 45));
  b.circle({(xi + x1) / 2 + 60, (y0 + yi) / 2}, rng.range(15, 40));
  const double sr = rng.range(18, 30);
  const double lx = (xi + x1) / 2 - 200, ly = (y0 + yi) / 2;
  b.line({lx, ly - sr}, {lx + 150, ly - sr});
  b.line({lx, ly + sr}, {lx + 150, ly + sr});
  b.arc({lx + 150, ly}, sr, -kPi / 2, kPi);
  b.arc({lx, ly}, sr, kPi / 2, kPi);
}

void schematic(SheetBuilder& b, SplitMix64& rng) {
  // Two long wires, joined by vertical wires that end in T-junctions.
  const double ya = rng.range(250, 320), yb = rng.range(650, 750);
  const double xa = rng.range(80, 120), xb = kWidth - rng.range(80, 120);
  // The upper wire is broken by a resistor's zigzag.
  const double rx = rng.range(450, 700), rw = 180, amp = 22;
  b.line({xa, yb}, {rx, yb});
  std::vector<Point> zig{{rx, yb}};
  for (int i = 1; i < 6; ++i) zig.push_back({rx + rw * i / 6.0, yb + (i % 2 ? amp : -amp)});
  zig.push_back({rx + rw, yb});
  b.polyline(zig, false);
  b.line({rx + rw, yb}, {xb, yb});
  b.corner({rx, yb});
  b.corner({rx + rw, yb});
  b.line({xa, ya}, {xb, ya});
  for (int i = 0; i < 3; ++i) {
    const double x = xa + 200 + i * rng.range(250, 320);
    if (x > rx - 40 && x < rx + rw + 40) continue;
    b.line({x, ya}, {x, yb});
    b.corner({x, ya});
    b.corner({x, yb});
  }
  // A capacitor on the lower wire's stub and a ground symbol below it.
  const double cx = rng.range(1000, 1150);
  b.stem({cx, ya}, {cx, ya - 80});
  b.line({cx - 30, ya - 80}, {cx + 30, ya - 80});
  b.corner({cx, ya - 80});
  b.line({cx - 30, ya - 96}, {cx + 30, ya - 96});
  b.stem({cx, ya - 96}, {cx, ya - 150});
  b.line({cx - 24, ya - 150}, {cx + 24, ya - 150});
  b.corner({cx, ya - 150});
  b.line({cx - 14, ya - 162}, {cx + 14, ya - 162});
  b.line({cx - 5, ya - 174}, {cx + 5, ya - 174});
  // Terminals: small circles at the wires' free ends.
  b.circle({xa - 10, ya}, 10);
  b.circle({xb + 10, yb}, 10);
}

void site_plan(SheetBuilder& b, SplitMix64& rng) {
  // A boundary with one edge drawn 0.7° off horizontal and odd angles elsewhere.
  const Point p0{rng.range(80, 120), rng.range(80, 120)};
  const Point p1{p0.x + 1100, p0.y + 1100 * std::tan(0.7 * kDeg)};
  const Point p2{p1.x + rng.range(-60, 40), rng.range(820, 900)};
  const Point p3{p0.x + rng.range(80, 200), p2.y + rng.range(-40, 40)};
  b.polyline({p0, p1, p2, p3}, true);
  // An oblique road: two parallel lines.
  const double angle = rng.range(20, 35) * kDeg, gap = 40;
  const Point r0{380, 200}, dir{std::cos(angle), std::sin(angle)}, nrm{-std::sin(angle), std::cos(angle)};
  b.line(r0, add(r0, {560 * dir.x, 560 * dir.y}));
  b.line(add(r0, {gap * nrm.x, gap * nrm.y}), add(r0, {560 * dir.x + gap * nrm.x, 560 * dir.y + gap * nrm.y}));
  // A curved road: two concentric arcs.
  const Point c{rng.range(300, 380), rng.range(500, 560)};
  const double r = rng.range(160, 220), start = rng.range(-30, 0) * kDeg, sweep = rng.range(80, 120) * kDeg;
  b.arc(c, r, start, sweep);
  b.arc(c, r + 36, start, sweep);
  // A building turned by an odd angle.
  b.rectangle({rng.range(820, 900), rng.range(420, 480)}, 220, 140, rng.range(8, 25) * kDeg);
}

void title_block(SheetBuilder& b, SplitMix64& rng) {
  const double x0 = 60, y0 = 60, x1 = kWidth - 60, y1 = kHeight - 60;
  b.polyline({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, true);
  // A block of cells in the lower right: rows and columns that end on the frame.
  const double bx = rng.range(700, 850), by = rng.range(260, 320);
  b.line({bx, y0}, {bx, by});
  b.line({bx, by}, {x1, by});
  b.corner({bx, y0});
  b.corner({bx, by});
  b.corner({x1, by});
  const int rows = rng.integer(3, 5);
  for (int i = 1; i < rows; ++i) {
    const double y = y0 + (by - y0) * i / rows;
    b.line({bx, y}, {x1, y});
    b.corner({bx, y});
    b.corner({x1, y});
  }
  const double cx = bx + rng.range(150, 250);
  b.line({cx, y0}, {cx, by});
  b.corner({cx, y0});
  b.corner({cx, by});
  // A few ticks along the frame's top, as reference marks.
  for (int i = 1; i < 6; ++i) {
    const double x = x0 + (x1 - x0) * i / 6;
    b.stem({x, y1}, {x, y1 - 12});
  }
}

void arcs(SheetBuilder& b, SplitMix64& rng) {
  // Arcs of every sweep in a grid of cells, starting anywhere (some across 0°).
  int cell = 0;
  for (double sweep : {20.0, 45.0, 90.0, 135.0, 180.0, 230.0, 280.0, 330.0}) {
    const Point cell_centre{200.0 + (cell % 4) * 300, 740.0 - (cell / 4) * 260};
    // A bend is told from a line once its sagitta r(1 − cos(sweep/2)) stands
    // well out of the pixels: the flattest arcs are drawn wider.
    const double r = sweep < 40 ? rng.range(150, 220) : sweep < 60 ? rng.range(60, 100) : rng.range(40, 100);
    const double start = rng.range(0, 360) * kDeg, middle = start + sweep * kDeg / 2;
    // Wide arcs keep their middle in the cell, the others their centre.
    const double back = r > 110 ? r : 0;
    b.arc(polar(cell_centre, -back, middle), r, start, sweep * kDeg);
    ++cell;
  }
  // An S-curve: two tangent arcs of opposite turn.
  const double r = rng.range(50, 70);
  const Point s{150, 200};
  b.arc({s.x, s.y + r}, r, -kPi / 2, kPi / 2);
  b.arc({s.x + 2 * r, s.y + r}, r, kPi / 2, kPi / 2);
  // A pointed arch: two arcs meeting in a cusp.
  const double w = rng.range(160, 220), ax = 700, ay = 120;
  b.arc({ax + w, ay}, w, kPi - kPi / 3, kPi / 3);
  b.arc({ax, ay}, w, 0, kPi / 3);
  b.corner({ax + w / 2, ay + w * std::sqrt(3.0) / 2});
  // A line running tangentially into an arc.
  const double fr = rng.range(60, 90);
  b.line({1050, 150}, {1200, 150});
  b.arc({1200, 150 + fr}, fr, -kPi / 2, kPi * 0.6);
}

void odd_angles(SheetBuilder& b, SplitMix64& rng) {
  // A hexagon, a triangle and a square, each turned by an odd angle.
  const Point hc{300, 700};
  const double hr = rng.range(110, 160), ht = rng.range(0, 60) * kDeg;
  std::vector<Point> hex;
  for (int i = 0; i < 6; ++i) hex.push_back(polar(hc, hr, ht + i * kPi / 3));
  b.polyline(hex, true);
  const Point tc{750, 700};
  const double tt = rng.range(0, 120) * kDeg;
  b.polyline({polar(tc, 150, tt), polar(tc, 150, tt + 2 * kPi / 3), polar(tc, 150, tt + 4 * kPi / 3)}, true);
  b.rectangle({1050, 560}, 200, 200, rng.range(5, 40) * kDeg);
  // Lines at 30° and 60°, and one 0.7° off vertical.
  b.line({150, 150}, {150 + 400 * std::cos(30 * kDeg), 150 + 400 * std::sin(30 * kDeg)});
  b.line({700, 100}, {700 + 250 * std::cos(60 * kDeg), 100 + 250 * std::sin(60 * kDeg)});
  b.line({1200, 120}, {1200 + 380 * std::sin(0.7 * kDeg), 120 + 380});
}

double distance_to_piece(Point p, const cad::Line& l) {
  const double dx = l.b.x - l.a.x, dy = l.b.y - l.a.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - l.a.x) * dx + (p.y - l.a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - l.a.x - t * dx, p.y - l.a.y - t * dy);
}

double distance_to_piece(Point p, const cad::Arc& a) {
  const double angle = normalised(std::atan2(p.y - a.centre.y, p.x - a.centre.x) - a.start);
  if (angle <= a.sweep) return std::abs(std::hypot(p.x - a.centre.x, p.y - a.centre.y) - a.radius);
  const Point s = cad::arc_start_point(a), e = cad::arc_end_point(a);
  return std::min(std::hypot(p.x - s.x, p.y - s.y), std::hypot(p.x - e.x, p.y - e.y));
}

double distance_to_piece(Point p, const cad::Circle& c) {
  return std::abs(std::hypot(p.x - c.centre.x, p.y - c.centre.y) - c.radius);
}

// Inks every pixel whose centre lies within `half` of the piece, over its box.
template <class Piece>
void ink_piece(InkImage& image, const Piece& piece, double x0, double y0, double x1, double y1, double half) {
  const std::int32_t h = image.height;
  // Cell (gx, gy) is image pixel (gx − 1, h − gy).
  const auto c0 = static_cast<std::int32_t>(std::floor(x0 - half - 1)),
             c1 = static_cast<std::int32_t>(std::ceil(x1 + half + 1));
  const auto g0 = static_cast<std::int32_t>(std::floor(y0 - half - 1)),
             g1 = static_cast<std::int32_t>(std::ceil(y1 + half + 1));
  for (std::int32_t gy = std::max(g0, 1); gy <= std::min(g1, h); ++gy)
    for (std::int32_t gx = std::max(c0, 1); gx <= std::min(c1, image.width); ++gx)
      if (distance_to_piece({double(gx), double(gy)}, piece) <= half) image.set(gx - 1, h - gy);
}

}  // namespace

const char* sheet_kind_name(SheetKind kind) {
  switch (kind) {
    case SheetKind::Plan:
      return "plan";
    case SheetKind::Flange:
      return "flange";
    case SheetKind::Bracket:
      return "bracket";
    case SheetKind::Schematic:
      return "schematic";
    case SheetKind::SitePlan:
      return "site plan";
    case SheetKind::TitleBlock:
      return "title block";
    case SheetKind::Arcs:
      return "arcs";
    case SheetKind::OddAngles:
      return "odd angles";
  }
  return "?";
}

cad::CadDrawing rotated(const cad::CadDrawing& drawing, double degrees, Point centre) {
  const double c = std::cos(degrees * kDeg), s = std::sin(degrees * kDeg);
  const auto turn = [&](Point p) {
    const double dx = p.x - centre.x, dy = p.y - centre.y;
    return Point{centre.x + c * dx - s * dy, centre.y + s * dx + c * dy};
  };
  cad::CadDrawing out = drawing;
  for (cad::Line& l : out.lines) l = {turn(l.a), turn(l.b)};
  for (cad::Arc& a : out.arcs) {
    a.centre = turn(a.centre);
    a.start = normalised(a.start + degrees * kDeg);
  }
  for (cad::Circle& k : out.circles) k.centre = turn(k.centre);
  return out;
}

InkImage draw_with_pen(const cad::CadDrawing& drawing, std::int32_t width, std::int32_t height, double stroke) {
  InkImage image(width, height);
  const double half = stroke / 2;
  for (const cad::Line& l : drawing.lines)
    ink_piece(image, l, std::min(l.a.x, l.b.x), std::min(l.a.y, l.b.y), std::max(l.a.x, l.b.x), std::max(l.a.y, l.b.y),
              half);
  for (const cad::Arc& a : drawing.arcs)
    ink_piece(image, a, a.centre.x - a.radius, a.centre.y - a.radius, a.centre.x + a.radius, a.centre.y + a.radius,
              half);
  for (const cad::Circle& k : drawing.circles)
    ink_piece(image, k, k.centre.x - k.radius, k.centre.y - k.radius, k.centre.x + k.radius, k.centre.y + k.radius,
              half);
  return image;
}

CadSheet make_cad_sheet(SheetKind kind, std::uint32_t seed, double stroke, double skew_degrees) {
  CadSheet sheet;
  sheet.name = sheet_kind_name(kind);
  sheet.stroke = stroke;
  sheet.skew_degrees = skew_degrees;
  SplitMix64 rng(seed * 0x9E37u + static_cast<std::uint32_t>(kind));
  SheetBuilder builder(sheet);
  switch (kind) {
    case SheetKind::Plan:
      plan(builder, rng);
      break;
    case SheetKind::Flange:
      flange(builder, rng);
      break;
    case SheetKind::Bracket:
      bracket(builder, rng);
      break;
    case SheetKind::Schematic:
      schematic(builder, rng);
      break;
    case SheetKind::SitePlan:
      site_plan(builder, rng);
      break;
    case SheetKind::TitleBlock:
      title_block(builder, rng);
      break;
    case SheetKind::Arcs:
      arcs(builder, rng);
      break;
    case SheetKind::OddAngles:
      odd_angles(builder, rng);
      break;
  }
  // Every sheet but the title block (which draws its own) has a frame inside its edge.
  if (kind != SheetKind::TitleBlock)
    builder.polyline({{kFrame, kFrame},
                      {kWidth + 2 - kFrame, kFrame},
                      {kWidth + 2 - kFrame, kHeight + 2 - kFrame},
                      {kFrame, kHeight + 2 - kFrame}},
                     true);
  // The grid is two cells larger than the image; its centre is the straightening's pivot.
  sheet.truth.centre = {(kWidth + 2) / 2.0, (kHeight + 2) / 2.0};
  sheet.ink = draw_with_pen(rotated(sheet.truth, skew_degrees, sheet.truth.centre), kWidth, kHeight, stroke);
  return sheet;
}

}  // namespace vp
