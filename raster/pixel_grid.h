// The pixel grid: one cell per bitmap pixel plus a one-cell background border.
//
// Coordinates: x from 0 (left) to width()-1, y from 0 (bottom) to height()-1,
// so y grows upwards as in a drawing. Image pixel (column c, row r from the top)
// of an image h rows high lands in cell (c + 1, h - r). The border ring stays
// background for the whole conversion; every kernel relies on that.
//
// Cell codes: 0 background, 1 ink, 2 protected ink. (The thinning's "marked for
// removal" state never outlives a marking step here: marking and clearing are
// applied together, see thinning.h.)
//
// Storage: two bit planes laid out row by row, 64 cells to a word, bit i of word k
// being x = 64k + i. `ink` holds every non-background cell, `protected` the cells
// of code 2. Every scan of the conversion is a word-wide stencil over whole rows,
// which reads an eighth of what a byte per cell would cost and skips background
// 64 cells at a time. Two zero rows pad each plane above and below so that kernels
// may look two rows beyond the grid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vp {

enum CellCode : std::uint8_t { kBackground = 0, kInk = 1, kProtected = 2 };

class PixelGrid {
 public:
  static constexpr int kPadRows = 2;

  // Bytes that reset() would allocate for an image of this size, or 0 when the
  // size cannot be represented (the grid's dimensions must fit a signed 32-bit int).
  static std::size_t bytes_needed(std::int64_t image_width, std::int64_t image_height);

  // Sizes the grid for an image of the given size and clears every cell.
  // Returns false, leaving the grid empty, when the memory cannot be had or the
  // system reports too little available for the grid and the tracing's copy of it.
  bool reset(std::int32_t image_width, std::int32_t image_height);
  void release();

  // Unprotects every cell by handing the protected plane's pages back and taking
  // fresh zeroed ones: the thinning commits them, the tracing never reads them, and
  // on a large sheet they are as big as the ink. False, the grid released, when the
  // fresh plane cannot be had.
  bool renew_protected_plane();

  std::int32_t width() const { return width_; }    // GridWidth: image width + 2
  std::int32_t height() const { return height_; }  // GridHeight: image height + 2
  std::size_t words_per_row() const { return words_per_row_; }

  // Cell code; cells outside the grid read as background.
  std::uint8_t at(std::int32_t x, std::int32_t y) const;
  // Writes a cell of the grid (codes 0, 1 or 2); writes outside are ignored.
  void set(std::int32_t x, std::int32_t y, std::uint8_t code);

  // Stores one image row: bit c of `ink` (64 pixels to a word, least significant
  // bit first) is pixel c of image row `row_from_top`. Pixels become ink or background.
  void set_image_row(std::int32_t row_from_top, std::span<const std::uint64_t> ink);

  // Rows of the two planes, for the kernels; y may run from -kPadRows to
  // height() - 1 + kPadRows (the padding rows are zero and must stay so).
  std::uint64_t* ink_row(std::int32_t y) { return ink_ + row_offset(y); }
  const std::uint64_t* ink_row(std::int32_t y) const { return ink_ + row_offset(y); }
  std::uint64_t* protected_row(std::int32_t y) { return prot_ + row_offset(y); }
  const std::uint64_t* protected_row(std::int32_t y) const { return prot_ + row_offset(y); }

 private:
  std::ptrdiff_t row_offset(std::int32_t y) const {
    return (static_cast<std::ptrdiff_t>(y) + kPadRows) * static_cast<std::ptrdiff_t>(words_per_row_);
  }

  struct FreeDeleter {
    void operator()(std::uint64_t* p) const;
  };
  // The planes are separate blocks so that the protected one can be handed back alone.
  std::unique_ptr<std::uint64_t, FreeDeleter> ink_storage_;
  std::unique_ptr<std::uint64_t, FreeDeleter> prot_storage_;
  std::uint64_t* ink_ = nullptr;
  std::uint64_t* prot_ = nullptr;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::size_t words_per_row_ = 0;
};

}  // namespace vp
