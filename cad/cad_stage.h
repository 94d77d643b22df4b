// The drawing as it was drawn (--cad): from the thinned grid to lines, arcs and
// circles. The skeleton is walked into chains between free ends and junctions;
// each chain is split at its corners into the fewest lines and arcs that stay
// within the tolerance of every pixel; pieces that continue each other across a
// junction become one; whiskers shorter than the stroke go; the scan's skew is
// measured from the long lines and turned back; near-axis lines are made exactly
// horizontal or vertical; and the ends that meet are closed at the intersection
// of their fits.
#pragma once

#include <cstdint>

#include "cad/cad_drawing.h"
#include "cad/ink_centres.h"
#include "raster/phase_meter.h"
#include "raster/pixel_grid.h"
#include "raster/progress.h"

namespace vp::cad {

struct CadParams {
  // The strokes' width in pixels before thinning; 0 or less: the ink cells of
  // `ink` over the skeleton's, or 2 without `ink`.
  double stroke_width = 0;
  // Turn a skew between kMinSkewDegrees and kMaxSkewDegrees back (false: --keep-skew).
  bool straighten = true;
  // The ink before thinning, to centre the skeleton in its strokes; none: the
  // skeleton's pixels as they are.
  const InkCopy* ink = nullptr;
};

// The named limits of the stage, in one place.
inline constexpr double kMinTolerancePixels = 1.5;  // the fits' tolerance: this or half the stroke
inline constexpr double kMinSkewDegrees = 0.05;     // a smaller skew is left as it is
inline constexpr double kMaxSkewDegrees = 5.0;      // a larger one is taken as drawn so
inline constexpr double kMinArcDegrees = 10.0;      // a shorter bend is lines
inline constexpr double kMinCircleDegrees = 350.0;

// The fits' tolerance for strokes of this width: the larger of 1.5 px and half the stroke.
double tolerance_for_stroke(double stroke_width);

// Builds `drawing` from `thinned` (codes 0 and 1, as tracing reads it), which it
// does not change. Reports Phase::Fit per grid row walked and per chain fitted.
PhaseStatus build_cad_drawing(const PixelGrid& thinned, const CadParams& params, CadDrawing& drawing,
                              Progress& progress);

}  // namespace vp::cad
