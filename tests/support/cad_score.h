// The measures a fitted drawing is judged by against the truth of its sheet:
// how much of the drawn centreline it covers and how much of it is drawn,
// whether circles, arcs, corners and axis lines came out as drawn, and how many
// whiskers it has.
#pragma once

#include <cstdint>

#include "cad/cad_drawing.h"
#include "testkit/cad_sheets.h"

namespace vp::testing {

struct CadScore {
  double recall = 0;      // share of the drawn centreline within tolerance of the output
  double precision = 0;   // share of the output within tolerance of the drawn centreline
  double within_1px = 0;  // share of the output within 1 px of it
  std::int32_t entities = 0, drawn_entities = 0;
  std::int32_t circles = 0, circles_found = 0;
  std::int32_t arcs = 0, arcs_found = 0;
  std::int32_t corners = 0, corners_closed = 0;
  std::int32_t axis_lines = 0, axis_lines_exact = 0;
  std::int32_t whiskers = 0;
};

// The sheet through the conversion with --cad: its ink, or a grey scan of it
// read with --threshold auto --despeckle 8 when `scanned`; passes as advised.
cad::CadDrawing fit_sheet(const CadSheet& sheet, bool scanned);

// `output` in the truth's frame (straightened where the sheet was skewed).
CadScore score_drawing(const cad::CadDrawing& output, const CadSheet& sheet);

}  // namespace vp::testing
