#include "testkit/document_scan.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "testkit/blur.h"
#include "testkit/splitmix.h"

namespace vp {
namespace {

struct Point {
  double x, y;
};

void disc(InkImage& image, Point c, double radius) {
  for (auto y = static_cast<std::int32_t>(std::ceil(c.y - radius)); y <= c.y + radius; ++y) {
    const double dy = y - c.y;
    const double half = std::sqrt(std::max(0.0, radius * radius - dy * dy));
    image.fill_span(y, static_cast<std::int32_t>(std::ceil(c.x - half)),
                    static_cast<std::int32_t>(std::floor(c.x + half)));
  }
}

// A round-pen stroke through the points, stamped every half pixel.
void stroke(InkImage& image, const std::vector<Point>& points, double width) {
  const double radius = std::max(0.5, width / 2);
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const Point a = points[i], b = points[i + 1];
    const auto steps = static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y) * 2)) + 1;
    for (int s = 0; s <= steps; ++s) {
      const double t = static_cast<double>(s) / steps;
      disc(image, {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t}, radius);
    }
  }
}

// Printed glyphs: two to four strokes on a 3 x 5 lattice, now and then a bowl.
void print_line(InkImage& image, SplitMix64& random, double x, double right, double baseline, double height) {
  const double width = height * 0.6, pen = std::max(1.5, height / 8);
  while (x + width < right) {
    const int letters = random.integer(2, 9);
    for (int l = 0; l < letters && x + width < right; ++l, x += height * 0.75) {
      for (int s = random.integer(2, 4); s > 0; --s) {
        std::vector<Point> points;
        for (int p = random.integer(2, 3); p > 0; --p)
          points.push_back({x + width * random.integer(0, 2) / 2, baseline - height * random.integer(0, 4) / 4});
        stroke(image, points, pen);
      }
      if (random.chance(0.3)) {
        std::vector<Point> bowl;
        for (int a = 0; a <= 12; ++a) {
          const double angle = 2 * std::numbers::pi * a / 12;
          bowl.push_back({x + width / 2 * (1 + std::cos(angle)), baseline - height / 4 * (1 + std::sin(angle))});
        }
        stroke(image, bowl, pen);
      }
    }
    x += height * 0.7;
  }
}

// Handwriting: each word one wavering stroke of loops, slanted, on a drifting baseline.
void handwritten_line(InkImage& image, SplitMix64& random, double x, double right, double baseline, double height,
                      double pen) {
  const double slant = random.range(0.1, 0.35);
  while (x + height < right) {
    std::vector<Point> points;
    for (int l = random.integer(2, 8); l > 0 && x + height < right; --l) {
      for (int p = 0; p < 3; ++p) {
        const double rise = p == 1 ? (random.chance(0.2) ? 1.6 : random.range(0.6, 1.0)) : random.range(0, 0.15);
        const double y = baseline - height * rise;
        points.push_back({x + (baseline - y) * slant, y});
        x += height * random.range(0.15, 0.25);
      }
    }
    stroke(image, points, pen);
    x += height * random.range(0.5, 0.9);
    baseline += random.range(-0.08, 0.08) * height;
  }
}

void write_page(InkImage& image, SplitMix64& random, PageContent content) {
  const double w = image.width, h = image.height;
  const double margin = 0.08 * std::min(w, h);
  if (content == PageContent::Drawing) return;
  const bool print = content == PageContent::Print;
  const double height = std::clamp(h / (print ? 48 : 36), 6.0, 48.0);
  const double pen = std::max(1.5, height / 9);
  for (double baseline = margin + height * 1.6; baseline < h - margin; baseline += height * (print ? 2.0 : 2.4)) {
    const double right = random.chance(0.15) ? random.range(w / 3, w - margin) : w - margin;
    if (print)
      print_line(image, random, margin, right, baseline, height);
    else
      handwritten_line(image, random, margin, right, baseline, height, pen);
  }
}

// Faint pencil: construction lines, underlinings and a few handwritten notes.
InkImage pencil_marks(std::int32_t width, std::int32_t height, SplitMix64& random) {
  InkImage pencil(width, height);
  const double w = width, h = height;
  for (int i = 0; i < 6; ++i) {
    const Point a{random.range(0, w), random.range(0, h)};
    const double length = random.range(0.2, 0.6) * std::min(w, h), angle = random.integer(0, 3) * std::numbers::pi / 4;
    stroke(pencil, {a, {a.x + length * std::cos(angle), a.y + length * std::sin(angle)}}, random.range(1.5, 2.5));
  }
  for (int i = 0; i < 3; ++i) {
    const double note = std::clamp(h / 40, 6.0, 40.0), x = random.range(0, w * 0.6), y = random.range(note * 2, h);
    handwritten_line(pencil, random, x, x + random.range(0.2, 0.4) * w, y, note, 2);
  }
  return pencil;
}

std::vector<float> coverage(const InkImage& image) {
  std::vector<float> plane(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height));
  for (std::int32_t y = 0; y < image.height; ++y)
    for (std::int32_t x = 0; x < image.width; ++x)
      plane[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)] =
          image.get(x, y) ? 1.0f : 0.0f;
  return plane;
}

// A coffee ring (a dark tide line round a faint inside) or a blotch (darkest
// towards its edge), with a wavering outline; `paper` is dimmed in place.
void stain(std::vector<float>& paper, std::int32_t width, std::int32_t height, SplitMix64& random) {
  const double radius = std::min(width, height) * random.range(0.05, 0.16);
  const double darkness = random.range(0.12, 0.42);
  const bool ring = random.chance(0.5);
  const Point c{random.range(0, width), random.range(0, height)};
  const double p3 = random.range(0, 7), p7 = random.range(0, 7);
  const double edge = std::max(2.0, radius * 0.05);
  const auto reach = static_cast<std::int32_t>(radius * 1.4);
  for (std::int32_t y = std::max(0, static_cast<std::int32_t>(c.y) - reach);
       y < std::min(height, static_cast<std::int32_t>(c.y) + reach); ++y)
    for (std::int32_t x = std::max(0, static_cast<std::int32_t>(c.x) - reach);
         x < std::min(width, static_cast<std::int32_t>(c.x) + reach); ++x) {
      const double d = std::hypot(x - c.x, y - c.y), angle = std::atan2(y - c.y, x - c.x);
      const double outline = radius * (1 + 0.12 * std::sin(3 * angle + p3) + 0.06 * std::sin(7 * angle + p7));
      const double inside = 1 / (1 + std::exp((d - outline) / edge));  // 1 inside, 0 outside, soft between
      const double t = std::min(d / outline, 1.0);
      const double loss = ring ? darkness * (std::exp(-std::pow((d - outline) / (2 * edge), 2)) + 0.25 * inside)
                               : darkness * (0.7 + 0.3 * t * t * t * t) * inside;
      paper[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] *=
          static_cast<float>(1 - std::min(loss, 0.6));
    }
}

}  // namespace

InkImage document_page(std::int32_t width, std::int32_t height, PageContent content, std::uint32_t seed) {
  if (content == PageContent::Drawing) {
    DrawingOptions options;
    options.coverage = 0.04;
    return generate_drawing(width, height, seed, options);
  }
  InkImage page(width, height);
  SplitMix64 random(0xD0C0000ull ^ (std::uint64_t{seed} << 16) ^ static_cast<std::uint64_t>(content));
  write_page(page, random, content);
  return page;
}

DocumentScan scan_document(std::int32_t width, std::int32_t height, PageContent content, const DocumentFlaws& flaws) {
  SplitMix64 random(0xF1A3000ull ^ (std::uint64_t{flaws.seed} << 20));
  const InkImage ink = document_page(width, height, content, flaws.seed);
  const InkImage pencil = flaws.pencil ? pencil_marks(width, height, random) : InkImage(width, height);
  DocumentScan scan;
  scan.truth = ink;
  for (std::size_t k = 0; k < scan.truth.bits.size(); ++k) scan.truth.bits[k] |= pencil.bits[k];

  const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<float> inked = coverage(ink), pencilled = coverage(pencil), back(count, 0.0f);
  blur_plane(inked, width, height, flaws.blur);
  blur_plane(pencilled, width, height, flaws.blur);
  if (flaws.bleed_through > 0) {
    // The back page seen through the sheet: mirrored, and blurred by the paper.
    const InkImage other =
        document_page(width, height, content == PageContent::Drawing ? PageContent::Print : content, flaws.seed + 977);
    for (std::int32_t y = 0; y < height; ++y)
      for (std::int32_t x = 0; x < width; ++x)
        back[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
            other.get(width - 1 - x, y) ? 1.0f : 0.0f;
    blur_plane(back, width, height, std::max(1.5, 2 * flaws.blur));
  }
  std::vector<float> paper(count, 1.0f);
  for (std::int32_t s = 0; s < flaws.stains; ++s) stain(paper, width, height, random);
  const double fold_at = random.range(0.4, 0.6) * width, fold_slope = random.range(-0.03, 0.03);

  scan.grey.resize(count);
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
      double light = 1 - flaws.light_falloff * (0.7 * x / width + 0.3 * y / height);
      if (flaws.spine_shadow && x < 0.14 * width) {
        const double u = 1 - x / (0.14 * width);
        light *= 1 - 0.55 * u * u;
      }
      if (flaws.fold) {
        const double d = x - (fold_at + fold_slope * y);
        light *= 1 - 0.1 / (1 + std::exp(-d / 2));  // the far side faces away
        light *= 1 - 0.2 * std::exp(-d * d / 1.5) + 0.06 * std::exp(-std::pow((d + 3) / 2, 2));  // the crease
      }
      double noise = 0;
      for (int k = 0; k < 4; ++k) noise += random.uniform() - 0.5;
      const double reflect = 235 * paper[i] * (1 - 0.83 * inked[i]) * (1 - 0.55 * pencilled[i]) *
                             (1 - 0.83 * flaws.bleed_through * back[i]);
      scan.grey[i] = static_cast<std::uint8_t>(
          std::clamp(std::lround(reflect * light + noise * flaws.noise * std::sqrt(3.0)), 0L, 255L));
    }
  return scan;
}

}  // namespace vp
