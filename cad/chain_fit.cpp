#include "cad/chain_fit.h"

#include <algorithm>

namespace vp::cad {

FittedChain fit_chain(const Chain& chain, const std::vector<SkeletonNode>& nodes, const ChainFitSettings& settings,
                      std::vector<Point>& centres) {
  FittedChain fitted{chain.start_node, chain.end_node, {}};
  const std::size_t n = chain.pixels.size();
  centres.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    // A blot's outline is millions of pixels long: no longer wanted, it is left.
    if (i % 4096 == 0 && settings.limits.abandon && settings.limits.abandon->load(std::memory_order_relaxed))
      return fitted;
    const Pixel before = chain.pixels[i >= 2 ? i - 2 : 0], after = chain.pixels[std::min(i + 2, n - 1)];
    const Point along{static_cast<double>(after.x - before.x), static_cast<double>(after.y - before.y)};
    centres[i] =
        settings.ink ? settings.ink->centred(chain.pixels[i], along, settings.longest_run) : to_point(chain.pixels[i]);
  }
  std::span<const Point> run = centres;
  if (chain.closed()) {
    fitted.pieces = segment_closed(run, settings.limits);
    return fitted;
  }
  const bool junction_start = nodes[static_cast<std::size_t>(chain.start_node)].junction;
  const bool junction_end = nodes[static_cast<std::size_t>(chain.end_node)].junction;
  const std::size_t trim = settings.junction_trim;
  if (chain.start_node == chain.end_node && run.size() < 2 * trim + 4) return fitted;  // a knot in a junction
  // A free end's last pixels follow the pen's round cap, not the stroke: they
  // are left out too, and the piece is drawn out to the end again.
  const std::size_t front = junction_start ? trim : settings.free_trim;
  const std::size_t back = junction_end ? trim : settings.free_trim;
  const Point first = run.front(), last = run.back();
  if (run.size() > 3 * (front + back)) {
    fitted.pieces = segment_open(run.subspan(front, run.size() - front - back), settings.limits);
  } else if (junction_start || junction_end) {
    // Too short to leave its junction's pixels out: a link between two
    // junctions, or a stub off one, is taken as straight.
    fitted.pieces = straight_piece(run);
  } else {
    fitted.pieces = segment_open(run, settings.limits);
  }
  if (!fitted.pieces.empty()) {
    if (!junction_start) extend_end(fitted.pieces.front(), 0, first);
    if (!junction_end) extend_end(fitted.pieces.back(), 1, last);
  }
  return fitted;
}

}  // namespace vp::cad
