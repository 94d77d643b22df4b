// What the converter says about a drawing fitted with --cad: its lines, arcs
// and circles, and the skew measured with what became of it; and --info --cad,
// which converts only to measure that skew.
#pragma once

#include <ostream>
#include <string>

#include "cad/cad_drawing.h"
#include "cli/options.h"

namespace vp::cli {

// "0.37°: straightened", "0.37°: --cad would straighten it", "0.02°: under
// 0.05°, left as it is", "7.10°: over 5°, taken as drawn", "0.37°: kept (--keep-skew)".
// `converted`: the drawing is the result of a conversion (what was done), not a
// measurement for --info (what would be done).
std::string skew_text(const cad::CadDrawing& drawing, bool keep_skew, bool converted);

// "cad: 12 lines, 3 arcs, 2 circles; skew 0.37°: straightened"
std::string cad_summary_text(const cad::CadDrawing& drawing, bool keep_skew);

// vpconvert --info --cad INPUT: converts `options.input` with its passes (or
// --passes auto), clean-up and special mode and prints "skew: ..." on `out`;
// the conversion's messages go to `err`. Returns an ExitStatus.
int print_skew_info(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace vp::cli
