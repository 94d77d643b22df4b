// What the preview shows, worked out apart from the widgets: where the grid lies
// on the screen, the layer of every line, the drawing's size in millimetres,
// and the segment end nearest to a click.
//
// Everything that a saved file also holds is taken from the writers' own rules:
// the layers from classify_segment with the DXF options, the sizes from the
// CoordinateText of the coordinates as written, so that the preview never
// disagrees with the file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cad/cad_drawing.h"
#include "export/dxf_writer.h"
#include "export/export_rules.h"
#include "vector/end_point_index.h"
#include "vector/line_data.h"

namespace vp::gui {

// The DXF choices the preview shows, as the settings store them (on/off: 1 off, 2 on).
struct DxfOptions {
  std::int32_t DxfReal = 4;           // decimals through DecimalDigits
  std::int32_t DxfOption1 = 1;        // short lines on the layer "Short"
  std::int32_t DxfOption1_Len = 100;  // ... when shorter than this many millimetres
  std::int32_t DxfOption2 = 1;        // layers "Horizon", "Vertical", "Oblique"
};
// The layer rule those choices make, as the DXF writer applies it.
SegmentOptions dxf_segment_options(const DxfOptions& options);

// --- Where the grid lies on the screen ---------------------------------------

struct ScreenPoint {
  double x = 0, y = 0;
};

// `scale` screen pixels per grid unit; (origin_x, origin_y) is the screen
// position of the bottom-left corner of cell (0, 0). Screen y grows downwards
// and grid y upwards, so cell (x, y) covers screen x from origin_x + x × scale
// to origin_x + (x + 1) × scale and screen y from origin_y − (y + 1) × scale to
// origin_y − y × scale. A segment end (x, y) is shown at the centre of its cell.
struct PreviewView {
  static constexpr double kLargestScale = 64.0;  // pixels per cell, zoomed in

  double scale = 1.0;
  double origin_x = 0.0;
  double origin_y = 0.0;

  ScreenPoint toScreen(GridPoint p) const;
  // A point of a fitted drawing (--cad), in the same frame: (x, y) is where a
  // segment end (x, y) would be.
  ScreenPoint drawingToScreen(cad::Point p) const;
  // The continuous grid position under a screen position: the cell is its floor.
  ScreenPoint toGrid(ScreenPoint s) const;

  // The whole grid (width × height cells) in a view of that many pixels, with
  // `margin` pixels to spare on every side, centred.
  static PreviewView fit(std::int32_t grid_width, std::int32_t grid_height, int view_width, int view_height,
                         int margin);
  // Zoomed by `factor` about the screen position `at`, which keeps the grid
  // position under it; the scale stays within [smallest, kLargestScale].
  PreviewView zoomedAt(double factor, ScreenPoint at, double smallest) const;

  friend bool operator==(const PreviewView&, const PreviewView&) = default;
};

// The level of an InkPyramid to sample at this scale: the smallest whose cells
// (2^level grid cells wide) are at least one screen pixel wide.
int pyramidLevel(double scale);

// --- Layers ------------------------------------------------------------------

inline constexpr std::array<SegmentClass, 5> kPreviewClasses = {
    SegmentClass::Plain, SegmentClass::Horizontal, SegmentClass::Vertical, SegmentClass::Oblique, SegmentClass::Short};
std::size_t classIndex(SegmentClass c);

struct LayerSummary {
  std::vector<SegmentClass> classes;     // one per record, in table order
  std::array<std::int64_t, 5> counts{};  // by classIndex
  bool short_lines_skipped = false;      // the short-line option is on, the magnification invalid
  std::array<bool, 5> shown{};           // the layers these options can give, by classIndex
};

// The layer the DXF writer gives every record, with the magnification `rate`
// (nothing when its text is invalid). Without a magnification lengths cannot be
// measured: the short-line option is then left out, and said so.
LayerSummary classifyRecords(std::span<const LineRecord> records, std::optional<float> rate, const DxfOptions& options);

// The layers of a fitted drawing (--cad), by the DXF writer's own rule
// (classify_line, classify_curve); `classes` holds the lines', then the arcs',
// then the circles', each in the drawing's order.
LayerSummary classifyCad(const cad::CadDrawing& drawing, std::optional<float> rate, const DxfOptions& options);

// --- The drawing's size ------------------------------------------------------

struct DrawingExtent {
  // The smallest and largest x and y as the writers write them (CoordinateText
  // of the coordinate times the magnification), and the exact differences.
  std::string left, right, bottom, top;
  std::string width, height;
};

// Of the records' ends with this magnification and number of decimals; nothing
// for an empty table. With a negative magnification the smallest written value
// comes from the largest coordinate.
std::optional<DrawingExtent> drawingExtent(std::span<const LineRecord> records, float rate, int decimals);

// The length of all the lines in millimetres: the sum of |SegmentLength|, the
// length the short-line option measures.
double totalLength(std::span<const LineRecord> records, float rate);

// The same for a fitted drawing: the extent of its lines, arcs and circles
// (an arc's ends and the quarter points it passes), the coordinates times the
// magnification with `decimals` decimals; its length, lines and arcs and
// circles along their curves.
std::optional<DrawingExtent> cadExtent(const cad::CadDrawing& drawing, float rate, int decimals);
double cadLength(const cad::CadDrawing& drawing, float rate);

// --- Picking two points ------------------------------------------------------

// The segment end nearest to the screen position `at`, if one lies within
// `radius` pixels of it; of ends equally near, the first in table order (first
// end before second end).
std::optional<GridPoint> nearestEnd(std::span<const LineRecord> records, const PreviewView& view, ScreenPoint at,
                                    double radius);
// Of a fitted drawing: the nearest of its lines' ends, its arcs' ends and
// centres and its circles' centres, in that order for a tie.
std::optional<cad::Point> nearestCadPoint(const cad::CadDrawing& drawing, const PreviewView& view, ScreenPoint at,
                                          double radius);

}  // namespace vp::gui
