#include "support/degraded_scan.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "testkit/blur.h"
#include "testkit/splitmix.h"

namespace vp::testing {

ScanImage degrade(const InkImage& clean, const ScanLook& look) {
  ScanImage scan;
  scan.width = clean.width;
  scan.height = clean.height;
  scan.colour = look.paper[0] != look.paper[1] || look.paper[1] != look.paper[2] || look.ink[0] != look.ink[1] ||
                look.ink[1] != look.ink[2];
  const int channels = scan.colour ? 3 : 1;
  const auto count = static_cast<std::size_t>(clean.width) * static_cast<std::size_t>(clean.height);
  // How much of the ink colour each pixel holds: the drawing and the dust, blurred.
  std::vector<float> cover(count, 0.0f);
  for (std::int32_t y = 0; y < clean.height; ++y)
    for (std::int32_t x = 0; x < clean.width; ++x)
      if (clean.get(x, y))
        cover[static_cast<std::size_t>(y) * static_cast<std::size_t>(clean.width) + static_cast<std::size_t>(x)] = 1;
  SplitMix64 random(look.seed);
  for (std::int32_t d = 0; d < look.dust; ++d) {
    const std::int32_t cx = random.integer(0, clean.width - 1), cy = random.integer(0, clean.height - 1);
    const std::int32_t size = random.integer(1, 9);
    for (std::int32_t i = 0, x = cx, y = cy; i < size; ++i) {  // a short random walk
      if (x >= 0 && y >= 0 && x < clean.width && y < clean.height)
        cover[static_cast<std::size_t>(y) * static_cast<std::size_t>(clean.width) + static_cast<std::size_t>(x)] = 1;
      (random.chance(0.5) ? x : y) += random.chance(0.5) ? 1 : -1;
    }
  }
  vp::blur_plane(cover, clean.width, clean.height, look.blur);
  scan.pixels.resize(count * static_cast<std::size_t>(channels));
  for (std::int32_t y = 0; y < clean.height; ++y) {
    for (std::int32_t x = 0; x < clean.width; ++x) {
      const std::size_t i =
          static_cast<std::size_t>(y) * static_cast<std::size_t>(clean.width) + static_cast<std::size_t>(x);
      const double light = 1 - look.light_falloff * (0.7 * x / clean.width + 0.3 * y / clean.height);
      // Sensor noise: the sum of four uniforms, scaled to the deviation asked for.
      double noise = 0;
      for (int k = 0; k < 4; ++k) noise += random.uniform() - 0.5;
      noise *= look.noise * std::sqrt(3.0);
      for (int c = 0; c < channels; ++c) {
        const double reflect = look.paper[c] + (look.ink[c] - look.paper[c]) * static_cast<double>(cover[i]);
        scan.pixels[i * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
            static_cast<std::uint8_t>(std::clamp(std::lround(reflect * light + noise), 0L, 255L));
      }
    }
  }
  return scan;
}

InkImage scan_drawing(std::int32_t width, std::int32_t height, std::uint32_t seed, bool thick) {
  DrawingOptions options;
  options.coverage = 0.05;
  InkImage image = generate_drawing(width, height, seed, options);
  if (!thick) return image;
  SplitMix64 random(seed * 7919u + 1);
  // Filled blocks (title block fields, solid areas) and walls of a plan.
  for (int b = 0; b < 3; ++b) {
    const std::int32_t w = random.integer(width / 8, width / 4), h = random.integer(height / 8, height / 5);
    const std::int32_t x0 = random.integer(0, width - w), y0 = random.integer(0, height - h);
    for (std::int32_t y = y0; y < y0 + h; ++y) image.fill_span(y, x0, x0 + w - 1);
  }
  for (int wall = 0; wall < 4; ++wall) {
    const std::int32_t t = random.integer(24, 40);
    const bool across = wall % 2 == 0;
    const std::int32_t at = random.integer(0, (across ? height : width) - t);
    const std::int32_t from = random.integer(0, (across ? width : height) / 2);
    const std::int32_t length = random.integer((across ? width : height) / 4, (across ? width : height) / 2);
    for (std::int32_t i = 0; i < t; ++i) {
      if (across)
        image.fill_span(at + i, from, from + length);
      else
        for (std::int32_t y = from; y <= from + length; ++y) image.fill_span(y, at, at + t - 1);
    }
  }
  return image;
}

InkImage ruled_form(std::int32_t width, std::int32_t height, std::uint32_t seed) {
  InkImage image(width, height);
  SplitMix64 random(seed);
  std::vector<std::int32_t> columns = {2, width - 3};
  for (int c = 0; c < 3; ++c) columns.push_back(random.integer(width / 8, width - width / 8));
  std::sort(columns.begin(), columns.end());
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x : columns) image.set(x, y);
  for (std::int32_t y = 4; y + 2 < height; y += random.integer(14, 18)) {
    image.fill_span(y, 2, width - 3);
    if (random.chance(0.2)) image.fill_span(y + 1, 2, width - 3);  // a heavier rule
    // Words in the band below the rule: glyphs of a few strokes each.
    for (std::int32_t x = 6; x + 6 < width && y + 11 < height;) {
      const std::int32_t letters = random.integer(2, 8);
      for (std::int32_t l = 0; l < letters && x + 6 < width; ++l, x += 6) {
        for (int stroke = 0; stroke < 3; ++stroke) {
          const bool upright = random.chance(0.5);
          const std::int32_t at = upright ? x + random.integer(0, 4) : y + 4 + random.integer(0, 6);
          if (upright)
            for (std::int32_t yy = y + 4; yy < y + 11; ++yy) image.set(at, yy);
          else
            image.fill_span(at, x, x + 4);
        }
      }
      x += random.integer(6, 18);
    }
  }
  return image;
}

double f_measure(const InkImage& found, const InkImage& truth) {
  std::size_t both = 0, found_count = 0, truth_count = 0;
  for (std::int32_t y = 0; y < truth.height; ++y) {
    for (std::size_t k = 0; k < truth.words_per_row; ++k) {
      const std::uint64_t f = found.row(y)[k], t = truth.row(y)[k];
      both += static_cast<std::size_t>(std::popcount(f & t));
      found_count += static_cast<std::size_t>(std::popcount(f));
      truth_count += static_cast<std::size_t>(std::popcount(t));
    }
  }
  if (found_count + truth_count == 0) return 1;
  return 2.0 * static_cast<double>(both) / static_cast<double>(found_count + truth_count);
}

}  // namespace vp::testing
