// The scan's skew, measured from the long lines, turned back; and lines within
// a small angle of an axis made exactly horizontal or vertical.
#pragma once

#include "cad/piece_graph.h"

namespace vp::cad {

// The angle (degrees, counter-clockwise) by which the drawing's long lines stand
// off the axes, as most of their length agrees; 0 when no long line is within 5.5°
// of an axis.
double measure_skew(const PieceGraph& graph, double min_length);

// Turns every piece and vertex by `degrees` about `centre`.
void rotate_graph(PieceGraph& graph, double degrees, Point centre);

// A line within 0.3° of an axis, or short enough that its ends differ across it
// by no more than the tolerance (and within 10° of it), is turned about its
// middle onto the axis and marked as on it.
void snap_to_axes(PieceGraph& graph, double tolerance);

}  // namespace vp::cad
