// The ink as it was before thinning, kept so that each skeleton pixel can be put
// back in the middle of its stroke: thinning leaves a stroke of even width on one
// of its two middle pixels, half a pixel off its centre line.
#pragma once

#include <cstdint>
#include <vector>

#include "cad/fit.h"
#include "raster/pixel_grid.h"

namespace vp::cad {

class InkCopy {
 public:
  // A copy of `grid`'s ink (throws std::bad_alloc when it cannot be had).
  static InkCopy of(const PixelGrid& grid);

  bool ink(std::int32_t x, std::int32_t y) const;
  // The ink cells of the copy.
  std::int64_t ink_pixels() const { return ink_pixels_; }
  // The middle of the run of ink through `p` across the stroke, whose direction
  // is `along`: the vertical run for a stroke nearer horizontal, else the
  // horizontal one. `p` itself where the run is longer than `longest` (a
  // junction, a blot) or `p` is no ink.
  Point centred(Pixel p, Point along, std::int32_t longest) const;

 private:
  std::int32_t width_ = 0, height_ = 0;
  std::size_t words_ = 0;
  std::int64_t ink_pixels_ = 0;
  std::vector<std::uint64_t> bits_;
};

}  // namespace vp::cad
