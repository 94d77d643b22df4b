// The pass-count advisor: measures how thick the strokes of a loaded grid are
// and suggests the number of thinning passes that brings the typical stroke down
// to one cell.
//
// Thickness: at every ink cell, h is the length of the horizontal run of ink
// through it and v that of the vertical run. A straight stroke of width w at an
// angle a to the rows crosses a row in w / sin a cells and a column in w / cos a
// cells, so w = h·v / sqrt(h² + v²) whatever the angle (h alone for a vertical
// stroke, v alone for a horizontal one). The typical stroke is the median of
// that width over the ink cells: junctions, crossings and blots are thicker, the
// rounded ends of strokes thinner, and neither moves the median while most of
// the ink is plain stroke.
//
// Passes: a pass takes one cell off each end of every horizontal run (left,
// right) and of every vertical run (bottom, top), so a stroke along a row or a
// column loses two cells of width per pass, and a stroke two cells wide loses
// one: a stroke of W cells is one cell wide after floor(W / 2) passes. Oblique
// strokes are shortened from both directions and thin faster, so that count
// thins a stroke of that width in every direction.
#pragma once

#include <cstdint>
#include <string>

#include "imageio/image_reader.h"
#include "raster/pixel_grid.h"

namespace vp {

struct StrokeThickness {
  double typical = 0;         // median stroke width in cells; 0 when the grid has no ink
  std::int64_t measured = 0;  // ink cells the median was taken over
  std::int32_t row_step = 1;  // every row_step-th image row was measured (1: all of them)
};

// Runs longer than this count as this long: the widths of interest (up to the
// 200 cells that 100 passes thin) are then still measured within 2%.
inline constexpr std::int32_t kAdvisorRunCap = 1024;
// Widths are taken to the nearest 1/kAdvisorBinsPerCell cell.
inline constexpr int kAdvisorBinsPerCell = 16;
// Large grids are measured on every n-th row so that at most about this many
// cells are measured; every ink cell is equally likely to be.
inline constexpr std::int64_t kAdvisorSampleCells = std::int64_t{1} << 24;

// Measures the ink of `grid` (codes 1 and 2 alike). The grid is not changed.
StrokeThickness measure_stroke_thickness(const PixelGrid& grid);

// The pass count for a stroke width: floor(round(width) / 2), at least 1 (the
// smallest PassCount) and at most 100 (the largest).
std::int32_t passes_for_width(double width);

struct PassAdvice {
  StrokeThickness thickness;
  std::int32_t passes = 1;
};

PassAdvice advise_passes(const PixelGrid& grid);

// Loading an image file for the advisor, the way a conversion loads it.
enum class AdvisorLoad { Ok, Unreadable, Unsupported, OutOfMemory };
struct AdvisorFileResult {
  AdvisorLoad outcome = AdvisorLoad::Unreadable;
  PassAdvice advice;  // valid when outcome is Ok
};

// Opens `path` with the reader `readers` gives for it, reads it into a grid of
// its own (released before returning) and advises on it.
AdvisorFileResult advise_passes_for_file(const std::string& path, const ImageReaderFactory& readers);

}  // namespace vp
