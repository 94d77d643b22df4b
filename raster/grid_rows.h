// Upright rows of a grid's ink, whichever way the grid is stored: a grid stored
// on its side hands them out 64 at a time, transposed from its stored rows.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "raster/pixel_grid.h"

namespace vp {

class GridRows {
 public:
  explicit GridRows(const PixelGrid& grid);
  GridRows(const GridRows&) = delete;  // rows point into its blocks
  GridRows& operator=(const GridRows&) = delete;

  // Words of an upright row: bit x of word x / 64 is cell x.
  std::size_t words() const { return words_; }

  // Ink of upright row y, y from -PixelGrid::kPadRows to height() - 1 +
  // PixelGrid::kPadRows (rows beyond the grid read blank). On its side, a row
  // stays valid while the rows asked for after it lie in at most one other
  // block of 64 rows.
  const std::uint64_t* ink_row(std::int32_t y) {
    if (!on_its_side_) return grid_.ink_row(y);
    if (last_ != nullptr && y >= last_->first_row && y < last_->first_row + 64) {
      last_->last_use = ++uses_;
      return &last_->rows[static_cast<std::size_t>(y - last_->first_row)];
    }
    return ink_row_of_another_block(y);
  }

 private:
  static constexpr std::int64_t kEmpty = -(std::int64_t{1} << 40);
  const std::uint64_t* ink_row_of_another_block(std::int32_t y);

  struct Block {
    std::int64_t first_row = kEmpty;
    std::uint64_t last_use = 0;
    std::array<std::uint64_t, 64> rows{};
  };
  const PixelGrid& grid_;
  bool on_its_side_;
  std::size_t words_;
  std::array<Block, 3> blocks_{};
  Block* last_ = nullptr;  // the block of the last row asked for
  std::uint64_t uses_ = 0;
  std::vector<std::uint64_t> blank_;
};

}  // namespace vp
