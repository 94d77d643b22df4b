// A chain of skeleton pixels split into the fewest lines and arcs that hold every
// pixel within the tolerance (lines preferred where both would do), or a whole
// circle when a closed chain is one.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "cad/fit.h"

namespace vp::cad {

enum class PieceKind { Line, Arc, Circle };

struct Piece {
  PieceKind kind = PieceKind::Line;
  LineFit line;      // Line: the carrier
  CircleFit circle;  // Arc, Circle
  // The ends in the chain's order. An arc runs from `a` to `b` counter-clockwise
  // when `ccw`, else clockwise; `sweep` is its angle (positive, radians).
  Point a, b;
  bool ccw = true;
  double sweep = 0;
  // Pixels of the piece, thinned out, for judging a union of pieces later.
  std::vector<Point> samples;
};

struct SegmentationLimits {
  double tolerance = 1.5;
  double min_radius = 3.0;
  double max_radius = 20000.0;
  double min_arc_radians = 0.1745;  // 10°
  // An arc spans at least this many pixels: shorter bends are the pen's, not the drawing's.
  std::size_t min_arc_pixels = 8;
  // Once set, the pieces are no longer wanted: a long run gives up half way, with none.
  const std::atomic<bool>* abandon = nullptr;
};

// Pieces of an open run of pixels, in its order; consecutive pieces share an end pixel.
std::vector<Piece> segment_open(std::span<const Point> pixels, const SegmentationLimits& limits);

// One line through the whole run, fitted to all of it.
std::vector<Piece> straight_piece(std::span<const Point> pixels);

// A closed run (its first pixel not repeated): one circle, or pieces around it
// starting in the middle of its longest straight stretch, the last ending where
// the first begins.
std::vector<Piece> segment_closed(std::span<const Point> pixels, const SegmentationLimits& limits);

// Moves a piece's end (0: a, 1: b) along its carrier to where `to` projects
// onto it: a line's end to its foot, an arc's round to its angle.
void extend_end(Piece& piece, int end, Point to);

}  // namespace vp::cad
