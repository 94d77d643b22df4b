#include "cad/ink_centres.h"

#include <algorithm>
#include <cmath>

#include "raster/bit_rows.h"
#include "raster/grid_rows.h"

namespace vp::cad {

InkCopy InkCopy::of(const PixelGrid& grid) {
  InkCopy copy;
  copy.width_ = grid.width();
  copy.height_ = grid.height();
  GridRows rows(grid);
  copy.words_ = rows.words();
  copy.bits_.resize(copy.words_ * static_cast<std::size_t>(copy.height_));
  for (std::int32_t y = 0; y < copy.height_; ++y) {
    const std::uint64_t* row = rows.ink_row(y);
    std::copy_n(row, copy.words_, copy.bits_.data() + static_cast<std::size_t>(y) * copy.words_);
    for (std::size_t k = 0; k < copy.words_; ++k) copy.ink_pixels_ += bits::count(row[k]);
  }
  return copy;
}

bool InkCopy::ink(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return (bits_[static_cast<std::size_t>(y) * words_ + (static_cast<std::size_t>(x) >> 6)] >> (x & 63)) & 1u;
}

Point InkCopy::centred(Pixel p, Point along, std::int32_t longest) const {
  if (!ink(p.x, p.y)) return to_point(p);
  const bool vertical_run = std::abs(along.x) >= std::abs(along.y);
  const std::int32_t dx = vertical_run ? 0 : 1, dy = vertical_run ? 1 : 0;
  std::int32_t forward = 0, back = 0;
  while (forward <= longest && ink(p.x + dx * (forward + 1), p.y + dy * (forward + 1))) ++forward;
  while (back <= longest && ink(p.x - dx * (back + 1), p.y - dy * (back + 1))) ++back;
  if (forward + back + 1 > longest) return to_point(p);
  const double shift = (forward - back) / 2.0;
  return {p.x + dx * shift, p.y + dy * shift};
}

}  // namespace vp::cad
