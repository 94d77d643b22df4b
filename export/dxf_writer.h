// The DXF writer: the header template's lines, one LINE entity of sixteen lines
// per segment, then "  0" "ENDSEC" "  0" "EOF". Every line ends in CR LF. The
// template must open the ENTITIES section; the writer adds no section opener.
#pragma once

#include <cstddef>
#include <ostream>
#include <span>
#include <string_view>

#include "cad/cad_drawing.h"
#include "export/export_options.h"
#include "raster/progress.h"
#include "vector/line_data.h"

namespace vp {

// The layer names by class; Plain is "Velorin".
std::string_view dxf_layer_name(SegmentClass layer);

// Formats one LINE entity, its sixteen lines with their CR LF, into `out` and
// returns its length. kMaxDxfEntity is enough room for any record.
inline constexpr std::size_t kMaxDxfEntity = 128 + 4 * CoordinateFormatter::kMaxChars;
std::size_t format_dxf_entity(const LineRecord& r, SegmentClass layer, const CoordinateFormatter& number, char* out);

// options.dxf_header, the entities with options.dxf_decimals on the layers
// options.dxf_layers chooses, and the closing lines.
bool write_dxf(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress);

// The fitted drawing (--cad): the header template, a LINE per line as above but
// with real numbers, an ARC per arc (10/20 centre, 40 radius, 50 start and 51
// end angle in degrees in [0, 360), counter-clockwise, so an arc across 0° ends
// below its start) and a CIRCLE per circle (10/20 centre, 40 radius), each with
// the LINE's layer, linetype and colour groups; then the closing lines. Arcs and
// circles take the Oblique layer with the split and Short by their length.
// Angles have the coordinates' decimals; a negative magnification turns the
// drawing by half a turn, as it does the lines.
bool write_dxf_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                   Progress& progress);

// An arc's start and end angles as write_dxf_cad writes them: degrees, the
// end counter-clockwise from the start, both in [0, 360).
struct DxfArcAngles {
  double start = 0, end = 0;
};
DxfArcAngles dxf_arc_angles(const cad::Arc& arc, float rate);

}  // namespace vp
