#include "testkit/synthetic_drawing.h"

#include "testkit/splitmix.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace vp {

// --- InkImage ---------------------------------------------------------------

InkImage::InkImage(std::int32_t w, std::int32_t h)
    : width(std::max<std::int32_t>(w, 0)),
      height(std::max<std::int32_t>(h, 0)),
      words_per_row((static_cast<std::size_t>(width) + 63) / 64),
      bits(words_per_row * static_cast<std::size_t>(height), 0) {}

bool InkImage::get(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return false;
  const std::uint64_t word = bits[static_cast<std::size_t>(y) * words_per_row + static_cast<std::size_t>(x) / 64];
  return (word >> (x % 64)) & 1u;
}

void InkImage::set(std::int32_t x, std::int32_t y, bool ink) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  std::uint64_t& word = bits[static_cast<std::size_t>(y) * words_per_row + static_cast<std::size_t>(x) / 64];
  const std::uint64_t mask = std::uint64_t{1} << (x % 64);
  word = ink ? (word | mask) : (word & ~mask);
}

void InkImage::fill_span(std::int32_t y, std::int32_t x0, std::int32_t x1) {
  if (y < 0 || y >= height) return;
  x0 = std::max<std::int32_t>(x0, 0);
  x1 = std::min<std::int32_t>(x1, width - 1);
  if (x0 > x1) return;
  std::uint64_t* r = bits.data() + static_cast<std::size_t>(y) * words_per_row;
  const std::size_t w0 = static_cast<std::size_t>(x0) / 64;
  const std::size_t w1 = static_cast<std::size_t>(x1) / 64;
  const std::uint64_t first = ~std::uint64_t{0} << (x0 % 64);
  const std::uint64_t last = ~std::uint64_t{0} >> (63 - x1 % 64);
  if (w0 == w1) {
    r[w0] |= first & last;
    return;
  }
  r[w0] |= first;
  for (std::size_t k = w0 + 1; k < w1; ++k) r[k] = ~std::uint64_t{0};
  r[w1] |= last;
}

std::span<std::uint64_t> InkImage::row(std::int32_t y) {
  return {bits.data() + static_cast<std::size_t>(y) * words_per_row, words_per_row};
}

std::span<const std::uint64_t> InkImage::row(std::int32_t y) const {
  return {bits.data() + static_cast<std::size_t>(y) * words_per_row, words_per_row};
}

std::size_t InkImage::ink_count() const {
  std::size_t n = 0;
  for (std::uint64_t w : bits) n += static_cast<std::size_t>(std::popcount(w));
  return n;
}

double InkImage::coverage() const {
  const double all = static_cast<double>(width) * static_cast<double>(height);
  return all > 0 ? static_cast<double>(ink_count()) / all : 0.0;
}

namespace {

using Rng = SplitMix64;

// --- Painting ---------------------------------------------------------------
//
// Pixel (x, y) is ink when its centre, the point (x, y), lies in the shape. Every
// shape is painted as one span per row, so the cost follows the rows a shape
// touches, not its area.

struct Pt {
  double x, y;
};

struct Interval {
  double lo = 1e300, hi = -1e300;
  bool empty() const { return lo > hi; }
  void add(double a, double b) {
    lo = std::min(lo, a);
    hi = std::max(hi, b);
  }
};

class Painter {
 public:
  explicit Painter(InkImage& image) : img_(image) {}

  void span(std::int32_t y, const Interval& iv) {
    if (iv.empty()) return;
    const double lo = std::ceil(iv.lo), hi = std::floor(iv.hi);
    if (lo > hi || hi < 0 || lo >= img_.width) return;
    img_.fill_span(y, static_cast<std::int32_t>(std::max(lo, -1.0)),
                   static_cast<std::int32_t>(std::min(hi, static_cast<double>(img_.width))));
  }

  // Rows whose centres lie in [a, b], clipped to the image.
  bool rows(double a, double b, std::int32_t& y0, std::int32_t& y1) const {
    const double lo = std::max(std::ceil(a), 0.0);
    const double hi = std::min(std::floor(b), static_cast<double>(img_.height) - 1);
    if (lo > hi) return false;
    y0 = static_cast<std::int32_t>(lo);
    y1 = static_cast<std::int32_t>(hi);
    return true;
  }

  static void disc_row(Pt c, double r, double y, Interval& iv) {
    const double dy = y - c.y;
    const double d = r * r - dy * dy;
    if (d < 0) return;
    const double half = std::sqrt(d);
    iv.add(c.x - half, c.x + half);
  }

  // A stroke from a to b, `half` pixels either side of the centre line.
  void segment(Pt a, Pt b, double half, bool round) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::hypot(dx, dy);
    std::int32_t y0, y1;
    if (!rows(std::min(a.y, b.y) - half, std::max(a.y, b.y) + half, y0, y1)) return;
    if (round) {
      // Capsule: the swept rectangle plus a disc at each end. The capsule is
      // convex, so the hull of the three row intervals is its row interval.
      Pt quad[4];
      const bool has_body = len > 1e-9;
      if (has_body) {
        const double nx = -dy / len * half, ny = dx / len * half;
        quad[0] = {a.x + nx, a.y + ny};
        quad[1] = {b.x + nx, b.y + ny};
        quad[2] = {b.x - nx, b.y - ny};
        quad[3] = {a.x - nx, a.y - ny};
      }
      for (std::int32_t y = y0; y <= y1; ++y) {
        Interval iv;
        disc_row(a, half, y, iv);
        disc_row(b, half, y, iv);
        if (has_body) convex_row(quad, 4, y, iv);
        span(y, iv);
      }
    } else {
      // Square pen: the row meets the square at p(t) while |y - p(t).y| <= half,
      // a range of t over which the square's x extent moves linearly.
      for (std::int32_t y = y0; y <= y1; ++y) {
        double ta = 0, tb = 1;
        if (dy != 0) {
          ta = (y - half - a.y) / dy;
          tb = (y + half - a.y) / dy;
          if (ta > tb) std::swap(ta, tb);
          ta = std::max(ta, 0.0);
          tb = std::min(tb, 1.0);
          if (ta > tb) continue;
        } else if (std::abs(y - a.y) > half) {
          continue;
        }
        const double xa = a.x + ta * dx, xb = a.x + tb * dx;
        Interval iv;
        iv.add(std::min(xa, xb) - half, std::max(xa, xb) + half);
        span(y, iv);
      }
    }
  }

  void polyline(const Pt* p, std::size_t n, double half, bool round, bool closed) {
    for (std::size_t i = 0; i + 1 < n; ++i) segment(p[i], p[i + 1], half, round);
    if (closed && n > 2) segment(p[n - 1], p[0], half, round);
  }

 private:
  // Adds the row interval of a convex polygon at height y.
  static void convex_row(const Pt* v, int n, double y, Interval& iv) {
    for (int i = 0; i < n; ++i) {
      const Pt& p = v[i];
      const Pt& q = v[(i + 1) % n];
      if ((y < p.y && y < q.y) || (y > p.y && y > q.y)) continue;
      if (p.y == q.y) {
        iv.add(std::min(p.x, q.x), std::max(p.x, q.x));
      } else {
        const double x = p.x + (y - p.y) * (q.x - p.x) / (q.y - p.y);
        iv.add(x, x);
      }
    }
  }

  InkImage& img_;
};

// --- The drawing ------------------------------------------------------------

class DrawingMaker {
 public:
  DrawingMaker(InkImage& img, std::uint32_t seed, const DrawingOptions& o)
      : img_(img), paint_(img), rng_(0x5EED0000ull ^ (static_cast<std::uint64_t>(seed) << 20) ^ seed), opt_(o) {
    opt_.min_thickness = std::max(1, opt_.min_thickness);
    opt_.max_thickness = std::max(opt_.min_thickness, opt_.max_thickness);
    w_ = img.width;
    h_ = img.height;
    size_ = std::min(w_, h_);
  }

  void run() {
    const double pixels = static_cast<double>(w_) * h_;
    const double target = std::clamp(opt_.coverage, 0.0, 0.5) * pixels;
    if (target <= 0 || size_ <= 0) return;
    if (opt_.frame) frame(target);
    double actual = static_cast<double>(img_.ink_count());
    // Draw by estimate, then count: overlaps and clipping make the estimate high,
    // so a few rounds bring the true coverage up to the target.
    for (int round = 0; round < 64 && actual < target; ++round) {
      const double need = target - actual;
      double estimate = 0;
      while (estimate < need) {
        budget_ = need - estimate;
        const double added = element();
        if (added < 0) return;             // no kind of element is enabled
        estimate += std::max(added, 1.0);  // an element that fitted nowhere still counts
      }
      actual = static_cast<double>(img_.ink_count());
    }
  }

  void salt(double fraction) {
    const double pixels = static_cast<double>(w_) * h_;
    const auto count = static_cast<std::uint64_t>(std::clamp(fraction, 0.0, 1.0) * pixels);
    for (std::uint64_t i = 0; i < count; ++i) img_.set(rng_.integer(0, w_ - 1), rng_.integer(0, h_ - 1));
  }

 private:
  double thickness() { return rng_.integer(opt_.min_thickness, opt_.max_thickness); }
  double thin() { return opt_.min_thickness; }
  bool round_pen() {
    switch (opt_.pen) {
      case PenShape::Round:
        return true;
      case PenShape::Square:
        return false;
      case PenShape::Mixed:
        break;
    }
    return rng_.chance(0.5);
  }
  Pt anywhere() { return {rng_.range(0, w_), rng_.range(0, h_)}; }
  double length(double lo_fraction, double hi_fraction) {
    return std::max(2.0, size_ * rng_.range(lo_fraction, hi_fraction));
  }

  // Strokes a polyline and returns its estimated ink area.
  double stroke(const Pt* p, std::size_t n, double t, bool round, bool closed) {
    paint_.polyline(p, n, t / 2, round, closed);
    double len = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) len += std::hypot(p[i + 1].x - p[i].x, p[i + 1].y - p[i].y);
    if (closed && n > 2) len += std::hypot(p[0].x - p[n - 1].x, p[0].y - p[n - 1].y);
    return len * t + t * t;
  }

  double rectangle_outline(double x0, double y0, double x1, double y1, double t, bool round) {
    const Pt p[4] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    return stroke(p, 4, t, round, true);
  }

  void frame(double target) {
    const double t = opt_.max_thickness;
    const double m = std::max(2.0, size_ * 0.03);
    const double border = 2 * ((w_ - 2 * m) + (h_ - 2 * m)) * t;
    if (border > target / 2) return;  // a small image: the border alone would swamp it
    rectangle_outline(m, m, w_ - m, h_ - m, t, false);
    // Title block in the bottom right corner, with rows of lettering.
    const double bw = (w_ - 2 * m) * 0.35, bh = (h_ - 2 * m) * 0.12;
    const double bx = w_ - m - bw, by = h_ - m - bh;
    rectangle_outline(bx, by, w_ - m, h_ - m, opt_.min_thickness, false);
    const int rows = 3;
    for (int i = 1; i < rows; ++i) {
      const Pt p[2] = {{bx, by + bh * i / rows}, {w_ - m, by + bh * i / rows}};
      stroke(p, 2, opt_.min_thickness, false, false);
    }
    for (int i = 0; i < rows; ++i) {
      const double gh = bh / rows * 0.6;
      lettering(bx + gh * 0.5, by + bh * i / rows + gh * 0.3, gh, bw * 0.8);
    }
  }

  // One random element; returns its estimated ink area, or -1 when none is enabled.
  double element() {
    struct Kind {
      bool on;
      int weight;
      double (DrawingMaker::*draw)();
    };
    const Kind kinds[] = {
        {opt_.lines, 10, &DrawingMaker::line},    {opt_.arcs, 4, &DrawingMaker::arc},
        {opt_.rectangles, 4, &DrawingMaker::box}, {opt_.hatching, 1, &DrawingMaker::hatch},
        {opt_.text, 3, &DrawingMaker::text_row},
    };
    // Near the target, finish with a line cut to what is still missing, so that
    // small images do not overshoot by a whole large element.
    if (opt_.lines && budget_ < size_ * 0.3 * opt_.max_thickness) return line();
    int total = 0;
    for (const Kind& k : kinds) total += k.on ? k.weight : 0;
    if (total == 0) return -1;
    int pick = rng_.integer(0, total - 1);
    for (const Kind& k : kinds) {
      if (!k.on) continue;
      if (pick < k.weight) return (this->*k.draw)();
      pick -= k.weight;
    }
    return -1;
  }

  double line() {
    const Pt a = anywhere();
    const double t = thickness();
    const double len = std::min(length(0.05, 0.6), std::max(4.0, budget_ / t));
    const double u = rng_.uniform();
    double angle;
    if (u < 0.35) {
      angle = 0;  // drawings are mostly horizontal and vertical lines
    } else if (u < 0.65) {
      angle = std::numbers::pi / 2;
    } else if (u < 0.75) {
      angle = std::numbers::pi / 4 * rng_.integer(1, 3);
    } else {
      angle = rng_.range(0, std::numbers::pi);
    }
    if (rng_.chance(0.5)) angle += std::numbers::pi;
    const Pt p[2] = {a, {a.x + len * std::cos(angle), a.y + len * std::sin(angle)}};
    return stroke(p, 2, t, round_pen(), false);
  }

  double arc() {
    const Pt c = anywhere();
    const double r = length(0.01, 0.2);
    const bool full = rng_.chance(0.4);
    const double a0 = rng_.range(0, 2 * std::numbers::pi);
    const double sweep = full ? 2 * std::numbers::pi : rng_.range(0.3, 1.7 * std::numbers::pi);
    // Chords short enough to stay within a quarter pixel of the true circle.
    const double chord = std::clamp(std::sqrt(2 * r), 2.0, 64.0);
    const auto n = static_cast<std::size_t>(std::max(8.0, std::ceil(sweep * r / chord)));
    pts_.clear();
    for (std::size_t i = 0; i <= n; ++i) {
      const double a = a0 + sweep * static_cast<double>(i) / static_cast<double>(n);
      pts_.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
    }
    if (full) pts_.pop_back();
    return stroke(pts_.data(), pts_.size(), thickness(), true, full);
  }

  double box() {
    const Pt a = anywhere();
    const double bw = length(0.03, 0.3), bh = length(0.03, 0.3);
    const double t = thickness();
    const bool round = round_pen();
    if (rng_.chance(0.8)) return rectangle_outline(a.x, a.y, a.x + bw, a.y + bh, t, round);
    const double angle = rng_.range(0, std::numbers::pi / 2);
    const double c = std::cos(angle), s = std::sin(angle);
    const Pt p[4] = {
        a, {a.x + bw * c, a.y + bw * s}, {a.x + bw * c - bh * s, a.y + bw * s + bh * c}, {a.x - bh * s, a.y + bh * c}};
    return stroke(p, 4, t, round, true);
  }

  double hatch() {
    const Pt a = anywhere();
    const double x0 = a.x, y0 = a.y;
    const double x1 = x0 + length(0.04, 0.2), y1 = y0 + length(0.04, 0.2);
    const double t = thin();
    double area = rectangle_outline(x0, y0, x1, y1, thickness(), false);
    const double angle = rng_.chance(0.5) ? std::numbers::pi / 4 : 3 * std::numbers::pi / 4;
    const double gap = std::max(t * 3, rng_.range(6, 16));
    const double ux = std::cos(angle), uy = std::sin(angle);  // along the hatch lines
    const double nx = -uy, ny = ux;                           // across them
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double reach = std::hypot(x1 - x0, y1 - y0) / 2;
    for (double s = -reach + gap / 2; s < reach; s += gap) {
      // Liang-Barsky: clip the line through (c + s n) along u to the rectangle.
      const Pt o = {cx + s * nx, cy + s * ny};
      double t0 = -reach, t1 = reach;
      const double pq[4][2] = {{-ux, o.x - x0}, {ux, x1 - o.x}, {-uy, o.y - y0}, {uy, y1 - o.y}};
      bool inside = true;
      for (const auto& [p, q] : pq) {
        if (p == 0) {
          if (q < 0) inside = false;
          continue;
        }
        const double r = q / p;
        if (p < 0)
          t0 = std::max(t0, r);
        else
          t1 = std::min(t1, r);
      }
      if (!inside || t0 >= t1) continue;
      const Pt seg[2] = {{o.x + t0 * ux, o.y + t0 * uy}, {o.x + t1 * ux, o.y + t1 * uy}};
      area += stroke(seg, 2, t, false, false);
    }
    return area;
  }

  // A row of small glyph-like marks, each two to four strokes on a 3 x 5 lattice.
  double lettering(double x, double y, double glyph_h, double max_w) {
    const double glyph_w = glyph_h * 0.6;
    const double t = std::max(1.0, std::min<double>(opt_.min_thickness, glyph_h / 6));
    double area = 0;
    for (double gx = x; gx + glyph_w <= x + max_w; gx += glyph_w * 1.4) {
      if (rng_.chance(0.15)) continue;  // a space between words
      const int strokes = rng_.integer(2, 4);
      for (int k = 0; k < strokes; ++k) {
        const Pt p[3] = {
            {gx + glyph_w * rng_.integer(0, 2) / 2, y + glyph_h * rng_.integer(0, 4) / 4},
            {gx + glyph_w * rng_.integer(0, 2) / 2, y + glyph_h * rng_.integer(0, 4) / 4},
            {gx + glyph_w * rng_.integer(0, 2) / 2, y + glyph_h * rng_.integer(0, 4) / 4},
        };
        area += stroke(p, static_cast<std::size_t>(rng_.integer(2, 3)), t, true, false);
      }
    }
    return area;
  }

  double text_row() {
    const Pt a = anywhere();
    const double glyph_h = std::clamp(size_ * rng_.range(0.008, 0.03), 6.0, 80.0);
    return lettering(a.x, a.y, glyph_h, length(0.05, 0.3));
  }

  InkImage& img_;
  Painter paint_;
  Rng rng_;
  DrawingOptions opt_;
  std::int32_t w_ = 0, h_ = 0, size_ = 0;
  std::vector<Pt> pts_;
  double budget_ = 0;  // ink still missing in the current round
};

}  // namespace

InkImage generate_drawing(std::int32_t width, std::int32_t height, std::uint32_t seed, const DrawingOptions& options) {
  InkImage img(width, height);
  DrawingMaker maker(img, seed, options);
  maker.run();
  if (options.salt_noise > 0) maker.salt(options.salt_noise);
  return img;
}

InkImage random_image(std::int32_t width, std::int32_t height, std::uint32_t seed, double density) {
  InkImage img(width, height);
  Rng rng(0xD1CE0000ull ^ (static_cast<std::uint64_t>(seed) << 24) ^ seed);
  const double p = std::clamp(density, 0.0, 1.0);
  for (std::int32_t y = 0; y < img.height; ++y)
    for (std::int32_t x = 0; x < img.width; ++x)
      if (rng.uniform() < p) img.set(x, y);
  return img;
}

}  // namespace vp
