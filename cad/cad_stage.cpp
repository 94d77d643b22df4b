#include "cad/cad_stage.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "cad/chain_fitter.h"
#include "cad/piece_graph.h"
#include "cad/segmentation.h"
#include "cad/skeleton.h"
#include "cad/skew.h"
#include "cad/stop_check.h"

namespace vp::cad {

namespace {

// Long lines vote on the skew: this many pixels, or this many tolerances.
constexpr double kSkewLinePixels = 60;
constexpr double kSkewLineTolerances = 20;

}  // namespace

double tolerance_for_stroke(double stroke_width) { return std::max(kMinTolerancePixels, stroke_width / 2.0); }

PhaseStatus build_cad_drawing(const PixelGrid& thinned, const CadParams& params, CadDrawing& drawing,
                              Progress& progress) {
  drawing = CadDrawing{};
  drawing.centre = {thinned.width() / 2.0, thinned.height() / 2.0};
  double stroke = 2;
  ChainFitSettings settings;
  settings.ink = params.ink;
  SegmentationLimits& limits = settings.limits;
  CleanupLimits cleanup;
  // Everything that follows from the strokes' width, once the skeleton is counted.
  const auto set_limits = [&](std::int64_t skeleton_pixels) {
    double width = params.stroke_width;
    if (!(width > 0) && params.ink && skeleton_pixels > 0)
      width = static_cast<double>(params.ink->ink_pixels()) / static_cast<double>(skeleton_pixels);
    stroke = std::clamp(width > 0 ? width : 2.0, 1.0, 64.0);
    drawing.tolerance = tolerance_for_stroke(stroke);
    // A chain's pixels near a junction bend into the other strokes: they are left
    // out of its fit, and its end is found again by closing the corner.
    settings.junction_trim = static_cast<std::size_t>(std::ceil(stroke / 2)) + 1;
    settings.free_trim = static_cast<std::size_t>(std::ceil(stroke / 2));
    limits.tolerance = drawing.tolerance;
    limits.min_radius = std::max(3.0, drawing.tolerance);
    limits.min_arc_radians = kMinArcDegrees * std::numbers::pi / 180.0;
    limits.min_arc_pixels = static_cast<std::size_t>(std::ceil(std::max(8.0, 2 * stroke)));
    cleanup = {drawing.tolerance, stroke, 2.0 * static_cast<double>(settings.junction_trim) + 2 * stroke + 2};
    // The widest run across a stroke that is still one stroke, for the centring.
    settings.longest_run = static_cast<std::int32_t>(std::ceil(2 * stroke)) + 2;
  };

  PieceGraph graph;
  std::vector<SkeletonNode> nodes;
  const std::int64_t total = 2 * std::int64_t{std::max(thinned.height(), 1)};
  // Waiting for the helper and the clean-ups ask at the walk's end.
  StopCheck stop(progress, total, total + 1);
  ChainFitter fitter(nodes, settings, graph, stop);
  const PhaseStatus walked = walk_skeleton(
      thinned, nodes, set_limits, [&](Chain& chain) { return fitter.take(chain); }, progress, 0, total + 1);
  if (walked != PhaseStatus::Finished) return walked;
  if (!fitter.finish()) return PhaseStatus::Stopped;
  const auto clean = [&](auto step) {
    if (!stop.stopped()) step();
  };
  clean([&] { remove_whiskers(graph, cleanup, stop); });
  clean([&] { contract_crossings(graph, cleanup, stop); });
  clean([&] { remove_chamfers(graph, cleanup, stop); });
  clean([&] { merge_continuations(graph, cleanup, stop); });
  clean([&] {
    if (straighten_slight_arcs(graph, cleanup, stop) > 0 && !stop.stopped()) merge_continuations(graph, cleanup, stop);
  });
  clean([&] { remove_whiskers(graph, cleanup, stop); });
  if (stop.stopped() || !stop.ask()) return PhaseStatus::Stopped;
  drawing.skew_degrees = measure_skew(graph, std::max(kSkewLinePixels, kSkewLineTolerances * drawing.tolerance));
  const double skew = std::abs(drawing.skew_degrees);
  if (params.straighten && skew >= kMinSkewDegrees && skew <= kMaxSkewDegrees) {
    rotate_graph(graph, -drawing.skew_degrees, drawing.centre);
    drawing.straightened = true;
  }
  snap_to_axes(graph, drawing.tolerance);
  close_corners(graph, cleanup, stop);
  if (stop.stopped()) return PhaseStatus::Stopped;
  export_drawing(graph, limits.min_arc_radians, drawing);
  return progress.report(Phase::Fit, total + 1, total + 1) ? PhaseStatus::Finished : PhaseStatus::Stopped;
}

}  // namespace vp::cad
