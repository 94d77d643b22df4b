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
//
// Layout: a sheet a few pixels wide and millions of rows high would cost a whole
// word per row, sixty times its ink. Such a grid may be stored on its side: the
// planes then hold the transposed grid, stored row x' being column x' of the
// grid and bit y' of it row y'. The grid's own coordinates (width(), height(),
// at(), set(), set_image_row()) stay upright either way; the plane rows
// (ink_row(), protected_row(), words_per_row(), stored_width(), stored_height())
// are the stored ones, and only kernels that know both layouts read them
// (raster/grid_rows.h gives upright rows of either).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace vp {

enum CellCode : std::uint8_t { kBackground = 0, kInk = 1, kProtected = 2 };

enum class GridLayout : std::uint8_t { Upright, OnItsSide };

class PixelGrid {
 public:
  static constexpr int kPadRows = 2;

  // Widest grid (image width + 2) that may be stored on its side: its stored
  // rows are then at most one word's worth, which the upright row reader relies on.
  static constexpr std::int32_t kWidestOnItsSide = 64;

  // The layout that holds an image of this size in the least memory without
  // changing anything for ordinary sheets: on its side only for sheets at most
  // 30 pixels wide and more than a million rows high.
  static GridLayout layout_for(std::int64_t image_width, std::int64_t image_height);

  // Bytes that reset() would allocate for an image of this size, or 0 when the
  // size cannot be represented (the grid's dimensions must fit a signed 32-bit
  // int; on its side, the grid must be at most kWidestOnItsSide wide).
  static std::size_t bytes_needed(std::int64_t image_width, std::int64_t image_height,
                                  GridLayout layout = GridLayout::Upright);

  // Sizes the grid for an image of the given size and clears every cell.
  // Returns false, leaving the grid empty, when the memory cannot be had or the
  // system reports too little available for the grid and the tracing's copy of it.
  bool reset(std::int32_t image_width, std::int32_t image_height, GridLayout layout = GridLayout::Upright);
  void release();

  // Unprotects every cell by handing the protected plane's pages back and taking
  // fresh zeroed ones: the thinning commits them, the tracing never reads them, and
  // on a large sheet they are as big as the ink. False, the grid released, when the
  // fresh plane cannot be had.
  bool renew_protected_plane();

  std::int32_t width() const { return width_; }    // GridWidth: image width + 2
  std::int32_t height() const { return height_; }  // GridHeight: image height + 2
  bool on_its_side() const { return on_its_side_; }
  // The planes' rows: height() rows of width() cells upright, the other way round on its side.
  std::int32_t stored_width() const { return on_its_side_ ? height_ : width_; }
  std::int32_t stored_height() const { return on_its_side_ ? width_ : height_; }
  std::size_t words_per_row() const { return words_per_row_; }  // of a stored row

  // Cell code; cells outside the grid read as background.
  std::uint8_t at(std::int32_t x, std::int32_t y) const;
  // Writes a cell of the grid (codes 0, 1 or 2); writes outside are ignored.
  void set(std::int32_t x, std::int32_t y, std::uint8_t code);

  // Stores one image row: bit c of `ink` (64 pixels to a word, least significant
  // bit first) is pixel c of image row `row_from_top`. Pixels become ink or background.
  void set_image_row(std::int32_t row_from_top, std::span<const std::uint64_t> ink);

  // Stored rows of the two planes, for the kernels; y may run from -kPadRows to
  // stored_height() - 1 + kPadRows (the padding rows are zero and must stay so).
  std::uint64_t* ink_row(std::int32_t y) { return ink_ + row_offset(y); }
  const std::uint64_t* ink_row(std::int32_t y) const { return ink_ + row_offset(y); }
  std::uint64_t* protected_row(std::int32_t y) { return prot_ + row_offset(y); }
  const std::uint64_t* protected_row(std::int32_t y) const { return prot_ + row_offset(y); }

 private:
  std::ptrdiff_t row_offset(std::int32_t y) const {
    return (static_cast<std::ptrdiff_t>(y) + kPadRows) * static_cast<std::ptrdiff_t>(words_per_row_);
  }

  void set_image_column(std::int32_t y, std::span<const std::uint64_t> ink);

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
  bool on_its_side_ = false;
};

}  // namespace vp
