#include "raster/grid_rows.h"

#include <algorithm>

#include "raster/bit_rows.h"

namespace vp {

GridRows::GridRows(const PixelGrid& grid)
    : grid_(grid),
      on_its_side_(grid.on_its_side()),
      words_(grid.on_its_side() ? 1 : grid.words_per_row()),
      blank_(std::max<std::size_t>(words_, 1), 0) {}

const std::uint64_t* GridRows::ink_row_of_another_block(std::int32_t y) {
  if (y < 0 || y >= grid_.height()) return blank_.data();
  const std::int64_t first = std::int64_t{y} / 64 * 64;
  ++uses_;
  Block* block = nullptr;
  for (Block& b : blocks_)
    if (b.first_row == first) block = &b;
  if (block == nullptr) {
    block = &*std::min_element(blocks_.begin(), blocks_.end(),
                               [](const Block& a, const Block& b) { return a.last_use < b.last_use; });
    // Stored row x holds column x; word first / 64 of it, columns 0 to 63, as one block.
    const auto word = static_cast<std::size_t>(first / 64);
    block->rows.fill(0);
    for (std::int32_t x = 0; x < grid_.stored_height(); ++x)
      block->rows[static_cast<std::size_t>(x)] = grid_.ink_row(x)[word];
    bits::transpose64(block->rows.data());
    block->first_row = first;
  }
  block->last_use = uses_;
  last_ = block;
  return &block->rows[static_cast<std::size_t>(y - first)];
}

}  // namespace vp
