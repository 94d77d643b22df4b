#include "cad/cad_stage.h"

#include <algorithm>

namespace vp::cad {

double tolerance_for_stroke(double stroke_width) { return std::max(kMinTolerancepx, stroke_width / 2.0); }

PhaseStatus build_cad_drawing(const PixelGrid& thinned, const CadParams& params, CadDrawing& drawing,
                              Progress& progress) {
  drawing = CadDrawing{};
  drawing.tolerance = tolerance_for_stroke(params.stroke_width > 0 ? params.stroke_width : 2.0);
  drawing.centre = {thinned.width() / 2.0, thinned.height() / 2.0};
  PhaseMeter meter(progress, Phase::Fit, 1);
  meter.unit_done();
  return meter.status();
}

}  // namespace vp::cad
