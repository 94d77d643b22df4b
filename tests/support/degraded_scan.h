// Degraded scans of the synthetic drawings: what a scanner, a copier or a phone
// makes of a clean drawing. The clean ink stays the truth that a clean-up is
// scored against (pixel F-measure).
#pragma once

#include <cstdint>
#include <vector>

#include "testkit/synthetic_drawing.h"

namespace vp::testing {

struct ScanLook {
  double blur = 0.8;         // Gaussian blur radius (sigma) in pixels; 0 for none
  double noise = 4;          // standard deviation of the sensor noise, grey levels
  double light_falloff = 0;  // fraction of the light lost towards the far corner (0..0.9)
  // Colours of paper and ink (red, green, blue); grey scans have equal components.
  std::uint8_t paper[3] = {235, 235, 235};
  std::uint8_t ink[3] = {40, 40, 40};
  std::int32_t dust = 0;  // dark specks of 1 to 9 pixels strewn over the sheet
  std::uint32_t seed = 1;
};

// Pixels row by row from the top: one byte each (grey) or three (red, green, blue).
struct ScanImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool colour = false;
  std::vector<std::uint8_t> pixels;
};

// The scan of `clean`; colour when paper or ink is not grey.
ScanImage degrade(const InkImage& clean, const ScanLook& look);

// The drawing of the given size and seed, with solid blocks and walls far wider
// than a local threshold's window when `thick` is set.
InkImage scan_drawing(std::int32_t width, std::int32_t height, std::uint32_t seed, bool thick);

// A dense ruled form: rules every 14 to 18 pixels, a few columns, and small
// text (strokes of one or two pixels in 5 x 7 cells) between the rules.
InkImage ruled_form(std::int32_t width, std::int32_t height, std::uint32_t seed);

// Precision and recall of `found` against `truth` combined: 2PR / (P + R); 1 when both are empty.
double f_measure(const InkImage& found, const InkImage& truth);

}  // namespace vp::testing
