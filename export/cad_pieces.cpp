#include "export/cad_pieces.h"

#include <span>
#include <vector>

namespace vp {
namespace {

bool chords(std::span<const cad::Point> corners, SegmentClass layer, const CadPieceSink& piece) {
  for (std::size_t i = 1; i < corners.size(); ++i)
    if (!piece({corners[i - 1], corners[i]}, layer)) return false;
  return true;
}

std::int64_t chord_count(const std::vector<cad::Point>& corners) {
  return static_cast<std::int64_t>(corners.size()) - 1;
}

}  // namespace

std::int64_t cad_piece_count(const cad::CadDrawing& drawing) {
  auto count = static_cast<std::int64_t>(drawing.lines.size());
  for (const cad::Arc& arc : drawing.arcs) count += chord_count(cad::arc_chords(arc, drawing.tolerance));
  for (const cad::Circle& circle : drawing.circles) count += chord_count(cad::circle_chords(circle, drawing.tolerance));
  return count;
}

bool for_each_cad_piece(const cad::CadDrawing& drawing, float rate, const SegmentOptions& layers,
                        const CadPieceSink& piece, Progress& progress) {
  const auto total = static_cast<std::int64_t>(drawing.entity_count());
  std::int64_t done = 0;
  const auto entity_done = [&] { return progress.report(Phase::Save, ++done, total); };
  for (const cad::Line& line : drawing.lines) {
    if (!piece(line, classify_line(line, rate, layers)) || !entity_done()) return false;
  }
  for (const cad::Arc& arc : drawing.arcs) {
    const SegmentClass layer = classify_curve(cad::arc_length(arc), rate, layers);
    if (!chords(cad::arc_chords(arc, drawing.tolerance), layer, piece) || !entity_done()) return false;
  }
  for (const cad::Circle& circle : drawing.circles) {
    const SegmentClass layer = classify_curve(cad::circle_length(circle), rate, layers);
    if (!chords(cad::circle_chords(circle, drawing.tolerance), layer, piece) || !entity_done()) return false;
  }
  return true;
}

}  // namespace vp
