// Literal versions of the thinning steps and run tracing: byte cells addressed
// [x][y], every scan in its documented order, one cell at a time. The fast kernels
// must give the same grids and the same records in the same order.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/pixel_grid.h"
#include "vector/line_data.h"

namespace vp::reference {

class ByteGrid {
 public:
  ByteGrid(std::int32_t width, std::int32_t height)
      : width_(width), height_(height), cells_(static_cast<std::size_t>(width) * height, 0) {}
  static ByteGrid from(const PixelGrid& grid);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  // Outside the grid reads as 0.
  std::uint8_t get(std::int32_t x, std::int32_t y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return cells_[index(x, y)];
  }
  void put(std::int32_t x, std::int32_t y, std::uint8_t code) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    cells_[index(x, y)] = code;
  }
  bool operator==(const ByteGrid&) const = default;

 private:
  std::size_t index(std::int32_t x, std::int32_t y) const { return static_cast<std::size_t>(x) * height_ + y; }
  std::int32_t width_, height_;
  std::vector<std::uint8_t> cells_;
};

void SetOKdata(ByteGrid& g);
void SetBevelX1(ByteGrid& g);
void SetBevelX2(ByteGrid& g);
void SetBevelY1(ByteGrid& g);
void SetBevelY2(ByteGrid& g);
void ClearBevel(ByteGrid& g);
void BlueToBlack(ByteGrid& g);
void thin(ByteGrid& g, int passes);  // passes of twelve steps, then BlueToBlack

// RV_X, RV_Y, RV_NX1, RV_NX2, RV_NY1, RV_NY2 in turn.
std::vector<LineRecord> trace(const ByteGrid& g);

}  // namespace vp::reference
