// The DXF writer: the header template's lines, one LINE entity of sixteen lines
// per segment, then "  0" "ENDSEC" "  0" "EOF". Every line ends in CR LF. The
// template must open the ENTITIES section; the writer adds no section opener.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <span>
#include <string_view>

#include "export/dxf_header.h"
#include "export/export_rules.h"
#include "export/save_host.h"
#include "vector/line_data.h"

namespace vp {

// The DXF settings, named and valued as stored (on/off: 1 off, 2 on).
struct DxfOptions {
  std::int32_t DxfReal = 4;          // decimals through DecimalDigits
  std::int32_t DxfOption1 = 1;       // short lines on the layer "Short"
  std::int32_t DxfOption1_Len = 100; // ... when shorter than this many millimetres
  std::int32_t DxfOption2 = 1;       // layers "Horizon", "Vertical", "Oblique"
};

struct DxfSaveInput {
  std::string_view magnification;       // the magnification text, read when saving
  std::span<const LineRecord> records;  // LineData's records, in table order
  DxfOptions options;
};

// The layer names by class; Plain is "Velorin".
std::string_view dxf_layer_name(SegmentClass layer);
SegmentOptions dxf_segment_options(const DxfOptions& options);

// The four closing lines.
inline constexpr std::string_view kDxfTrailer = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";

// Formats one LINE entity, its sixteen lines with their CR LF, into `out` and
// returns its length. kMaxDxfEntity is enough room for any record.
inline constexpr std::size_t kMaxDxfEntity = 128 + 4 * CoordinateFormatter::kMaxChars;
std::size_t format_dxf_entity(const LineRecord& r, SegmentClass layer,
                              const CoordinateFormatter& number, char* out);

// SaveDXF into a stream, with the template already in hand: reads the
// magnification, shows the saving dialog, writes everything, flushes, hides the
// dialog. The bar moves after every record; no events are processed while the
// records are written. A failing stream gives SaveFailure::Write.
SaveResult SaveDXF(std::ostream& out, const DxfSaveInput& input, const DxfHeaderTemplate& header,
                   SaveHost& host);

// SaveDXF into a file: `path` is the final name (extension already chosen).
// After the magnification is accepted, `header` is reloaded from
// `template_path` when something is there (an empty path skips this); if that
// cannot be read, the writer shows dxf_header_unreadable_message and stops with
// SaveFailure::Template before showing the saving dialog. Then the dialog is
// shown and the file created: a file that cannot be created gives
// SaveFailure::Create, a failing write SaveFailure::Write, and in both cases any
// earlier file of that name stays exactly as it was and no partial file remains.
SaveResult SaveDXF(const std::filesystem::path& path, const DxfSaveInput& input,
                   DxfHeaderTemplate& header, const std::filesystem::path& template_path,
                   SaveHost& host);

}  // namespace vp
