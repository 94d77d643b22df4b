// The SVG writer: the segment table as a drawing that any browser or vector
// editor opens at true size.
//
// Units: one SVG user unit is one millimetre. Every coordinate is written as the
// DXF writer writes it, CoordinateText of the grid coordinate times the
// magnification with the DXF decimals, so a line's four numbers are the DXF
// file's four numbers. The y axis of the segments grows upwards and SVG's grows
// downwards: all lines sit in a group with transform="scale(1,-1)", which stands
// the drawing upright without touching the numbers.
//
// Page: the bounding box of all end points, widened by one grid unit on every
// side so that the strokes (one grid unit wide, with round caps) lie inside it;
// its edges are the CoordinateText of those widened grid coordinates, and its
// width and height, written in "mm" and as the viewBox's size, are the exact
// decimal differences of those edge texts, so that one user unit is one
// millimetre exactly. With a negative magnification the drawing turns by half a
// turn (both axes change sign) and the page follows it. A side that would be 0 mm
// long (no segments at all, a magnification of zero, or a drawing that the
// chosen decimals round to one value) is 1 mm long instead, measured from the
// left or bottom edge: a page of no size is valid SVG but no viewer opens it.
// An empty table thus gives the page from (0, 0) to (1, 1) with no layer in it.
//
// Layers: one <g> per layer that holds a line, with the DXF layer's name as its
// id, in the order "Velorin", "Horizon", "Vertical", "Oblique", "Short", each
// with its own stroke colour; within a layer the lines keep table order. The
// layers follow the DXF options (split, short lines) exactly as the DXF writer
// does. Lines are stroked one grid unit (|magnification| mm) wide, as thick as
// one pixel of the scan.
//
// The file is UTF-8 (in fact ASCII); every line ends in CR LF.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "cad/cad_drawing.h"
#include "export/export_options.h"
#include "raster/progress.h"
#include "vector/line_data.h"

namespace vp {

// The stroke colour of a layer, "#RRGGBB".
std::string_view svg_layer_colour(SegmentClass layer);

// The page in millimetres, as written.
struct SvgPage {
  std::string left, bottom, right, top;  // CoordinateText of the widened extremes
  std::string width, height;             // right - left and top - bottom, exactly
};
SvgPage svg_page(std::span<const LineRecord> records, float rate, int decimals);

// The page, then one group per layer that holds a line, with options.dxf_decimals
// and the layers options.dxf_layers chooses, as in the DXF file.
bool write_svg(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress);

// The fitted drawing (--cad), on the same page rules: the bounding box of the
// lines and of the arcs and circles themselves (not just their ends), widened
// by one grid unit, its edges RealFormatter's texts. Each layer's group holds
// its lines as <line>, then its arcs as <path d="M x0 y0 A r r 0 large sweep
// x1 y1"/>, then its circles as <circle cx cy r>, each in the drawing's order,
// the numbers those of the DXF file. Inside the flipped group y grows upwards,
// so an arc counter-clockwise in the grid frame has sweep-flag 1 there.
SvgPage svg_page(const cad::CadDrawing& drawing, float rate, int decimals);
bool write_svg_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                   Progress& progress);

}  // namespace vp
