#include "cad/cad_stage.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <numbers>
#include <thread>
#include <utility>

#include "cad/chain_fit.h"
#include "cad/piece_graph.h"
#include "cad/segmentation.h"
#include "cad/skeleton.h"
#include "cad/skew.h"
#include "raster/thread_start.h"

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

// Fits the chains in batches on a helper thread while the walk goes on (on this
// thread when none can be had), and adds their pieces to the graph in the
// walk's order, so the drawing does not depend on the threads.
class ChainFitter {
 public:
  ChainFitter(const std::vector<SkeletonNode>& nodes, const ChainFitSettings& settings, PieceGraph& graph)
      : nodes_(nodes), settings_(settings), graph_(graph) {}
  ~ChainFitter() {
    if (worker_.joinable()) worker_.join();  // a walk that stopped or threw leaves its batch unused
  }

  void take(Chain& chain) {
    open_pixels_ += chain.pixels.size();
    open_.push_back(std::move(chain));
    if (open_pixels_ >= kBatchPixels) hand_over();
  }

  // Fits what is left and adds every chain's pieces; rethrows what the helper threw.
  void finish() {
    hand_over();
    wait();
  }

 private:
  static constexpr std::size_t kBatchPixels = 1 << 15;

  void hand_over() {
    wait();
    running_.swap(open_);
    open_.clear();
    open_pixels_ = 0;
    if (running_.empty()) return;
    worker_ = try_start_thread([this] { fit_running(); });
    if (!worker_.joinable()) fit_running();
  }

  void fit_running() {
    try {
      fitted_.clear();
      for (const Chain& chain : running_) fitted_.push_back(fit_chain(chain, nodes_, settings_, centres_));
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  // Waits for the batch under way and adds its pieces.
  void wait() {
    if (worker_.joinable()) worker_.join();
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    while (graph_.vertices.size() < nodes_.size()) graph_.add_vertex(nodes_[graph_.vertices.size()].position);
    for (FittedChain& chain : fitted_) {
      if (chain.pieces.empty()) continue;
      if (chain.start_node < 0) {
        if (chain.pieces.size() == 1 && chain.pieces.front().kind == PieceKind::Circle) {
          graph_.add(std::move(chain.pieces.front()), -1, -1);
        } else {
          const std::int32_t start = graph_.add_vertex(chain.pieces.front().a);
          add_pieces(graph_, std::move(chain.pieces), start, start);
        }
      } else {
        add_pieces(graph_, std::move(chain.pieces), chain.start_node, chain.end_node);
      }
    }
    fitted_.clear();
    running_.clear();
  }

  const std::vector<SkeletonNode>& nodes_;
  const ChainFitSettings& settings_;
  PieceGraph& graph_;
  std::vector<Chain> open_, running_;
  std::size_t open_pixels_ = 0;
  std::vector<FittedChain> fitted_;
  std::vector<Point> centres_;
  std::thread worker_;
  std::exception_ptr failure_;
};

}  // namespace

double tolerance_for_stroke(double stroke_width) { return std::max(kMinTolerancepx, stroke_width / 2.0); }

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
  ChainFitter fitter(nodes, settings, graph);
  const std::int64_t total = 2 * std::int64_t{std::max(thinned.height(), 1)};
  const PhaseStatus walked = walk_skeleton(
      thinned, nodes, set_limits,
      [&](Chain& chain) {
        fitter.take(chain);
        return true;
      },
      progress, 0, total + 1);
  if (walked != PhaseStatus::Finished) return walked;
  fitter.finish();
  remove_whiskers(graph, cleanup);
  contract_crossings(graph, cleanup);
  remove_chamfers(graph, cleanup);
  merge_continuations(graph, cleanup);
  straighten_slight_arcs(graph, cleanup);
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
