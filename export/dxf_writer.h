// The DXF writer: the header template's lines, one LINE entity of sixteen lines
// per segment, then "  0" "ENDSEC" "  0" "EOF". Every line ends in CR LF. The
// template must open the ENTITIES section; the writer adds no section opener.
#pragma once

#include <cstddef>
#include <ostream>
#include <span>
#include <string_view>

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

}  // namespace vp
