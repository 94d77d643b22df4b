// One chain of skeleton pixels to its pieces: centred in its stroke, its ends at
// junctions and free ends left out of the fits, split into lines and arcs (or
// one circle), and drawn out to its free ends again. A pure function of the
// chain, so that chains can be fitted on another thread while the walk goes on.
#pragma once

#include <cstdint>
#include <vector>

#include "cad/ink_centres.h"
#include "cad/segmentation.h"
#include "cad/skeleton.h"

namespace vp::cad {

struct ChainFitSettings {
  SegmentationLimits limits;
  std::size_t junction_trim = 2;  // pixels left out at a junction
  std::size_t free_trim = 1;      // pixels left out at a free end
  std::int32_t longest_run = 6;   // the widest run across one stroke, for the centring
  const InkCopy* ink = nullptr;
};

struct FittedChain {
  std::int32_t start_node = -1, end_node = -1;  // -1: a closed chain
  std::vector<Piece> pieces;
};

// `centres` is scratch space, kept between calls to save allocations.
FittedChain fit_chain(const Chain& chain, const std::vector<SkeletonNode>& nodes, const ChainFitSettings& settings,
                      std::vector<Point>& centres);

}  // namespace vp::cad
