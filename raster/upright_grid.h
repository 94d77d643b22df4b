// Standing an image upright whose rows are stored turned, flipped or mirrored, as
// a camera or a scanner records it: orientations 1 to 8, numbered as EXIF and
// TIFF number them (1: stored upright; 6: turn a quarter clockwise to view ...).
//
// Every orientation is done in at most two steps. While the rows arrive, their
// order may be reversed and each row may be mirrored, which costs nothing more
// than reading. For orientations 5 to 8 the grid so filled is then transposed,
// cell (x, y) to cell (y, x), into a second grid of the turned size: 64 x 64
// blocks of cells at a time, and only where there is ink, so a sparse drawing
// commits little of the new grid. Transposing the grid's cells, whose y grows
// upwards, is in image terms the turn that maps pixel (c, r) of a w x h image
// to (h - 1 - r, w - 1 - c), which the row steps complete to the other three.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "raster/pixel_grid.h"

namespace vp {

struct OrientationSteps {
  bool reverse_rows = false;  // stored row r goes to row height - 1 - r
  bool mirror_rows = false;   // pixel c of a row goes to width - 1 - c
  bool transpose = false;     // afterwards, grid cell (x, y) goes to (y, x)
};

// The steps for an orientation; none for 1 and for any value outside 1 to 8
// (a damaged tag leaves the image as it is stored).
OrientationSteps orientation_steps(int orientation);

// Whether the upright image is the stored one on its side: its width is the
// stored height, and its resolutions trade places.
inline bool turns_sideways(int orientation) { return orientation_steps(orientation).transpose; }

// The layout of the grid an image is read into: one that is turned on its side
// afterwards is read upright.
inline GridLayout grid_layout_for(int orientation, std::int64_t image_width, std::int64_t image_height) {
  return turns_sideways(orientation) ? GridLayout::Upright : PixelGrid::layout_for(image_width, image_height);
}

// A receiver of ink rows, as the readers hand them out (row from the top, 64
// pixels to a word, least significant bit first).
using InkRows = std::function<bool(std::int32_t row_from_top, std::span<const std::uint64_t> ink)>;

// A receiver for the stored rows of a `width` x `height` image that hands each
// on to `into_grid` as the first step of `orientation` wants it. Without such a
// step, `into_grid` itself.
InkRows upright_rows(int orientation, std::int32_t width, std::int32_t height, InkRows into_grid);

// Bit c of `out` becomes bit width - 1 - c of `in`, for the `width` bits of a
// row; the bits of `out` beyond them are zero. `out` holds (width + 63) / 64 words.
void mirror_bits(std::span<const std::uint64_t> in, std::int32_t width, std::span<std::uint64_t> out);

// A plane of cells, rows of `stride` words one after the other from row 0.
struct CellPlane {
  std::uint64_t* rows = nullptr;
  std::size_t stride = 0;  // words per row
  std::int32_t width = 0;  // cells
  std::int32_t height = 0;
};

// Writes cell (x, y) of `from` into cell (y, x) of `to`, which is `from`'s
// height wide and `from`'s width high, and all background where `from` has no
// ink. Words of `to` that stay background are not written.
void transpose_cells(const CellPlane& from, const CellPlane& to);

// Whether the system has room for the second grid that a turn on its side needs
// beside the grid being filled (whose ink is by then all committed), each weighed
// as PixelGrid::reset weighs a grid: asked before the rows are read, so that a
// turn that cannot be made is refused before the reading rather than after it.
// Always true for orientations that do not turn the image on its side.
bool room_to_stand_upright(int orientation, std::int32_t image_width, std::int32_t image_height);

// The second step: a grid filled through upright_rows() for `orientation`
// becomes the upright grid. For orientations 5 to 8 its cells are transposed into
// a new grid, which replaces it; false, leaving the grid as it was, when that
// grid cannot get its memory (it is claimed as the grid itself is).
bool finish_upright(PixelGrid& grid, int orientation);

}  // namespace vp
