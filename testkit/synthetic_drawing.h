// Synthetic scanned drawings for tests, benchmarks and the sample file.
//
// InkImage holds which pixels are ink, in the row format the bitmap reader hands
// to its InkRowSink: row 0 is the TOP row of the image, 64 pixels to a word with
// bit c of a row being pixel c (least significant bit first), and bits at and
// beyond the width always zero. A reader's rows can thus be compared word for
// word with the image.
//
// Everything here is deterministic: the same arguments give the same bits on any
// platform (the random numbers come from our own generator, not from <random>'s
// distributions, whose results differ between standard libraries).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vp {

struct InkImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t words_per_row = 0;
  std::vector<std::uint64_t> bits;

  InkImage() = default;
  // An all-background image; negative sizes count as 0.
  InkImage(std::int32_t w, std::int32_t h);

  // Pixel (x = column, y = row from the top); outside the image reads as background.
  bool get(std::int32_t x, std::int32_t y) const;
  // Writes a pixel; writes outside the image are ignored.
  void set(std::int32_t x, std::int32_t y, bool ink = true);
  // Sets pixels x0..x1 (inclusive) of row y to ink, clipped to the image.
  void fill_span(std::int32_t y, std::int32_t x0, std::int32_t x1);

  std::span<std::uint64_t> row(std::int32_t y);
  std::span<const std::uint64_t> row(std::int32_t y) const;

  std::size_t ink_count() const;
  double coverage() const;  // ink pixels / all pixels, 0 for an empty image

  friend bool operator==(const InkImage&, const InkImage&) = default;
};

enum class PenShape { Round, Square, Mixed };

struct DrawingOptions {
  // Stroke thickness in pixels, drawn per element from [min, max].
  int min_thickness = 2;
  int max_thickness = 6;
  PenShape pen = PenShape::Mixed;
  // Fraction of the pixels that the drawn elements cover when drawing stops
  // (reached or exceeded by less than one element). Clamped to [0, 0.5].
  double coverage = 0.05;
  // Fraction of the pixels additionally set as isolated specks of ink (scanner dust).
  double salt_noise = 0.0;
  // Which kinds of element to draw (at least one must be on for any ink to appear).
  bool frame = true;  // a border and a title block
  bool lines = true;  // straight lines, mostly horizontal or vertical, some at any angle
  bool arcs = true;   // circles and arcs
  bool rectangles = true;
  bool hatching = true;  // parallel slanted lines clipped to a rectangle
  bool text = true;      // rows of small glyph-like strokes
};

// A deterministic synthetic scanned drawing.
InkImage generate_drawing(std::int32_t width, std::int32_t height, std::uint32_t seed,
                          const DrawingOptions& options = {});

// Each pixel ink with probability `density` (0..1), independently.
InkImage random_image(std::int32_t width, std::int32_t height, std::uint32_t seed, double density);

}  // namespace vp
