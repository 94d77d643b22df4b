// The fitted drawing (--cad) as straight pieces, for the formats that have no
// arc record (coordinate text, jw_cad): each line as it is, each arc and circle
// as the chords that stay within the drawing's tolerance of it
// (cad::arc_chords, cad::circle_chords). Lines come first, then arcs, then
// circles, each in the drawing's order; a curve's chords run counter-clockwise
// from its start.
#pragma once

#include <cstdint>
#include <functional>

#include "cad/cad_drawing.h"
#include "export/export_rules.h"
#include "raster/progress.h"

namespace vp {

// Receives one piece and the layer class of the entity it belongs to; false stops.
using CadPieceSink = std::function<bool(const cad::Line& piece, SegmentClass layer)>;

// How many pieces for_each_cad_piece gives.
std::int64_t cad_piece_count(const cad::CadDrawing& drawing);

// Gives every piece to `piece`, its entity classified with `layers` (a curve by
// its own length, not by its chords'), and reports Phase::Save after each entity
// (done, total = the entity count). False when `piece` or `progress` asked to stop.
bool for_each_cad_piece(const cad::CadDrawing& drawing, float rate, const SegmentOptions& layers,
                        const CadPieceSink& piece, Progress& progress);

}  // namespace vp
