// Sheets of known geometry for the fitted drawing (--cad): lines, polylines,
// circles, arcs, fillets, T-junctions, drawn with a round pen of a known width and
// optionally skewed, with the truth kept beside the image.
//
// The truth is in grid coordinates (pixels, y up: image pixel (c, r) from the top
// is cell (c + 1, height − r)), unskewed; the image is drawn from the truth turned
// by `skew_degrees` about the grid's centre, as a scan would be.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cad/cad_drawing.h"
#include "testkit/synthetic_drawing.h"

namespace vp {

struct CadSheet {
  std::string name;
  double stroke = 3;        // the pen's width in pixels
  double skew_degrees = 0;  // how the image was turned (counter-clockwise)
  cad::CadDrawing truth;    // unskewed
  // Points where two drawn pieces meet at an angle (corners and T-junctions).
  std::vector<cad::Point> corners;
  InkImage ink;
};

enum class SheetKind { Plan, Flange, Bracket, Schematic, SitePlan, TitleBlock, Arcs, OddAngles };
inline constexpr SheetKind kSheetKinds[] = {SheetKind::Plan,      SheetKind::Flange,   SheetKind::Bracket,
                                            SheetKind::Schematic, SheetKind::SitePlan, SheetKind::TitleBlock,
                                            SheetKind::Arcs,      SheetKind::OddAngles};
const char* sheet_kind_name(SheetKind kind);

// One sheet of `kind`, its geometry drawn from `seed`.
CadSheet make_cad_sheet(SheetKind kind, std::uint32_t seed, double stroke, double skew_degrees = 0);

// The truth turned by `degrees` about `centre` (counter-clockwise).
cad::CadDrawing rotated(const cad::CadDrawing& drawing, double degrees, cad::Point centre);

// Draws `drawing` with a round pen of width `stroke` on an image of the given size.
InkImage draw_with_pen(const cad::CadDrawing& drawing, std::int32_t width, std::int32_t height, double stroke);

}  // namespace vp
