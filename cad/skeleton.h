// The thinned ink as chains of pixels between nodes: free ends and junctions.
//
// A working copy of the ink is first made 8-thin: pixels whose removal keeps
// every stroke connected (one 8-connected group of neighbours, as Yokoi's
// connectivity number counts them) and that have two or three neighbours are
// taken out in raster order, so that a stroke's staircase steps leave no pixel of
// three neighbours behind. Then every pixel with other than two neighbours is a
// node pixel; 8-adjacent node pixels form one node. A chain runs from a node
// through pixels of two neighbours to a node; loops without nodes are closed
// chains.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "cad/fit.h"
#include "raster/phase_meter.h"
#include "raster/pixel_grid.h"

namespace vp::cad {

struct SkeletonNode {
  Point position;  // the centroid of its pixels
  std::int32_t pixels = 0;
  bool junction = false;  // one of its pixels has three neighbours or more (else a free end)
};

struct Chain {
  // From the start node's pixel to the end node's pixel, both included; a closed
  // chain's first pixel is not repeated at its end.
  std::vector<Pixel> pixels;
  std::int32_t start_node = -1;  // -1: a closed chain
  std::int32_t end_node = -1;
  bool closed() const { return start_node < 0; }
};

// Calls `take` for every chain in a fixed order (by the raster order of the
// node pixels they leave from, then the loops), with the nodes numbered in
// `nodes`; `started` first, with the skeleton's cells before it was made 8-thin.
// Reports Phase::Fit once per grid row, counting `rows_before` units done before
// it and `total` in all. A false from `take` stops the walk.
PhaseStatus walk_skeleton(const PixelGrid& thinned, std::vector<SkeletonNode>& nodes,
                          const std::function<void(std::int64_t skeleton_pixels)>& started,
                          const std::function<bool(Chain&)>& take, Progress& progress, std::int64_t rows_before,
                          std::int64_t total);

// Yokoi's 8-connectivity number of a pixel whose neighbours are the bits of
// `mask` (bit 0 east, then counter-clockwise: north-east, north, ..., south-east).
int connectivity_number(std::uint8_t mask);

}  // namespace vp::cad
