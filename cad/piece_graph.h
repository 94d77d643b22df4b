// The fitted pieces of every chain and the vertices where they end: the nodes of
// the skeleton (free ends and junctions) and the break points between the pieces
// of one chain. The clean-up works here: whiskers go, pieces that continue each
// other across a vertex become one, and the ends that meet are closed exactly.
#pragma once

#include <cstdint>
#include <vector>

#include "cad/cad_drawing.h"
#include "cad/segmentation.h"
#include "cad/stop_check.h"

namespace vp::cad {

enum class Axis : std::uint8_t { None, Horizontal, Vertical };

struct GraphPiece {
  Piece piece;
  std::int32_t va = -1, vb = -1;  // the vertices of ends a and b; -1 for a circle
  Axis axis = Axis::None;         // made exactly horizontal or vertical
  bool alive = true;
};

struct Vertex {
  Point position;
  // Pieces merged across this vertex run through it: a stem that ends here ends on them.
  std::vector<std::int32_t> through;
};

struct PieceGraph {
  std::vector<GraphPiece> pieces;
  std::vector<Vertex> vertices;

  std::int32_t add_vertex(Point position);
  void add(Piece piece, std::int32_t va, std::int32_t vb);
  // How many live piece ends each vertex has.
  std::vector<std::int32_t> degrees() const;
};

struct CleanupLimits {
  double tolerance = 1.5;
  double stroke = 2;
  // How much of a loop through one junction its fit may leave out there (the
  // pixels near a junction are not fitted).
  double junction_gap = 8;
};

// Each of the clean-ups asks `stop` as it goes and leaves the graph half done
// when a stop is asked for.

// Takes out pieces with a free end that stay within the stroke of the pieces
// they hang from (spurs off a line, hooks at its end), and specks shorter than
// half the stroke.
void remove_whiskers(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop);

// Takes out the short links between two junctions that are one crossing (two
// strokes crossing at a slant meet in a blot whose skeleton forks twice), so
// that the pieces of each stroke meet at one vertex.
void contract_crossings(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop);

// Takes out the short pieces that cut a corner between two others (the chamfer
// a thinned corner leaves), so that the two meet at their intersection.
void remove_chamfers(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop);

// Joins pairs of lines, and of arcs of one circle, that continue each other
// across a vertex and fit as one within the tolerance; an arc that comes round to
// its own start over 350° or more becomes a circle.
void merge_continuations(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop);

// Makes lines of the arcs from a junction whose pixels all lie within the
// tolerance of one line: the bend of a straight stroke where others cross it,
// not a curve (arcs of one circle have been joined across the junctions first).
// Returns how many it made lines.
std::size_t straighten_slight_arcs(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop);

// Moves the ends that meet at each vertex to one point: the intersection of the
// two fits, the foot of a stem on the piece it meets, or a tangent point. Lines
// made exactly horizontal or vertical stay so.
void close_corners(PieceGraph& graph, const CleanupLimits& limits, StopCheck& stop);

// The drawing: lines, arcs (counter-clockwise), circles, free ends, junctions.
// An arc that closing left under `min_arc_radians` is written as the line
// between its ends.
void export_drawing(const PieceGraph& graph, double min_arc_radians, CadDrawing& drawing);

// The length of a piece between its ends.
double piece_length(const Piece& piece);

}  // namespace vp::cad
