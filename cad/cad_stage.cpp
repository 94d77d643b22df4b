#include "cad/cad_stage.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "cad/piece_graph.h"
#include "cad/segmentation.h"
#include "cad/skeleton.h"
#include "cad/skew.h"

namespace vp::cad {

namespace {

// Long lines vote on the skew: this many pixels, or this many tolerances.
constexpr double kSkewLinePixels = 60;
constexpr double kSkewLineTolerances = 20;

// Adds a chain's pieces, each break between two pieces a vertex of its own.
void add_pieces(PieceGraph& graph, std::vector<Piece> pieces, std::int32_t first_vertex, std::int32_t last_vertex) {
  std::int32_t from = first_vertex;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const std::int32_t to = k + 1 == pieces.size() ? last_vertex : graph.add_vertex(pieces[k].b);
    graph.add(std::move(pieces[k]), from, to);
    from = to;
  }
}

}  // namespace

double tolerance_for_stroke(double stroke_width) { return std::max(kMinTolerancepx, stroke_width / 2.0); }

PhaseStatus build_cad_drawing(const PixelGrid& thinned, const CadParams& params, CadDrawing& drawing,
                              Progress& progress) {
  drawing = CadDrawing{};
  const double stroke = std::clamp(params.stroke_width > 0 ? params.stroke_width : 2.0, 1.0, 64.0);
  drawing.tolerance = tolerance_for_stroke(stroke);
  drawing.centre = {thinned.width() / 2.0, thinned.height() / 2.0};
  // A chain's pixels near a junction bend into the other strokes: they are left
  // out of its fit, and its end is found again by closing the corner.
  const auto trim = static_cast<std::size_t>(std::ceil(stroke / 2)) + 1;
  const auto free_trim = static_cast<std::size_t>(std::ceil(stroke / 2));
  SegmentationLimits limits;
  limits.tolerance = drawing.tolerance;
  limits.min_radius = std::max(3.0, drawing.tolerance);
  limits.min_arc_radians = kMinArcDegrees * std::numbers::pi / 180.0;
  limits.min_arc_pixels = static_cast<std::size_t>(std::ceil(std::max(8.0, 2 * stroke)));
  const CleanupLimits cleanup{drawing.tolerance, stroke, 2.0 * static_cast<double>(trim) + 2 * stroke + 2};

  // The widest run across a stroke that is still one stroke, for the centring.
  const auto longest_run = static_cast<std::int32_t>(std::ceil(2 * stroke)) + 2;
  std::vector<Point> centres;
  const auto centre_chain = [&](const std::vector<Pixel>& pixels) {
    centres.resize(pixels.size());
    const std::size_t n = pixels.size();
    for (std::size_t i = 0; i < n; ++i) {
      const Pixel before = pixels[i >= 2 ? i - 2 : 0], after = pixels[std::min(i + 2, n - 1)];
      const Point along{static_cast<double>(after.x - before.x), static_cast<double>(after.y - before.y)};
      centres[i] = params.ink ? params.ink->centred(pixels[i], along, longest_run) : to_point(pixels[i]);
    }
  };
  PieceGraph graph;
  std::vector<SkeletonNode> nodes;
  const std::int64_t total = 2 * std::int64_t{std::max(thinned.height(), 1)};
  const PhaseStatus walked = walk_skeleton(
      thinned, nodes,
      [&](Chain& chain) {
        while (graph.vertices.size() < nodes.size()) {
          const SkeletonNode& node = nodes[graph.vertices.size()];
          graph.add_vertex(node.position);
        }
        centre_chain(chain.pixels);
        std::span<const Point> run = centres;
        if (chain.closed()) {
          std::vector<Piece> pieces = segment_closed(run, limits);
          if (pieces.size() == 1 && pieces.front().kind == PieceKind::Circle) {
            graph.add(std::move(pieces.front()), -1, -1);
          } else if (!pieces.empty()) {
            const std::int32_t start = graph.add_vertex(pieces.front().a);
            add_pieces(graph, std::move(pieces), start, start);
          }
          return true;
        }
        const bool junction_start = nodes[static_cast<std::size_t>(chain.start_node)].junction;
        const bool junction_end = nodes[static_cast<std::size_t>(chain.end_node)].junction;
        if (chain.start_node == chain.end_node && run.size() < 2 * trim + 4) return true;  // a knot in a junction
        // A free end's last pixels follow the pen's round cap, not the stroke:
        // they are left out too, and the piece is drawn out to the end again.
        const std::size_t front = junction_start ? trim : free_trim, back = junction_end ? trim : free_trim;
        const Point first = run.front(), last = run.back();
        std::vector<Piece> pieces;
        if (run.size() > 3 * (front + back)) {
          run = run.subspan(front, run.size() - front - back);
          pieces = segment_open(run, limits);
        } else if (junction_start || junction_end) {
          // Too short to leave its junction's pixels out: a link between two
          // junctions, or a stub off one, is taken as straight.
          pieces = straight_piece(run);
        } else {
          pieces = segment_open(run, limits);
        }
        if (!pieces.empty()) {
          if (!junction_start) extend_end(pieces.front(), 0, first);
          if (!junction_end) extend_end(pieces.back(), 1, last);
        }
        add_pieces(graph, std::move(pieces), chain.start_node, chain.end_node);
        return true;
      },
      progress, 0, total + 1);
  if (walked != PhaseStatus::Finished) return walked;
  while (graph.vertices.size() < nodes.size()) graph.add_vertex(nodes[graph.vertices.size()].position);

  remove_whiskers(graph, cleanup);
  contract_crossings(graph, cleanup);
  remove_chamfers(graph, cleanup);
  merge_continuations(graph, cleanup);
  remove_whiskers(graph, cleanup);
  drawing.skew_degrees = measure_skew(graph, std::max(kSkewLinePixels, kSkewLineTolerances * drawing.tolerance));
  const double skew = std::abs(drawing.skew_degrees);
  if (params.straighten && skew >= kMinSkewDegrees && skew <= kMaxSkewDegrees) {
    rotate_graph(graph, -drawing.skew_degrees, drawing.centre);
    drawing.straightened = true;
  }
  snap_to_axes(graph, drawing.tolerance);
  close_corners(graph, cleanup);
  export_drawing(graph, limits.min_arc_radians, drawing);
  return progress.report(Phase::Fit, total + 1, total + 1) ? PhaseStatus::Finished : PhaseStatus::Stopped;
}

}  // namespace vp::cad
