// The coordinate text writer: one line per segment, "x1 y1 x2 y2" with the
// chosen delimiter and number of decimals, each line ending in CR LF. No header,
// no trailer; an empty table gives an empty file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>

#include "cad/cad_drawing.h"
#include "export/export_options.h"
#include "raster/progress.h"
#include "vector/line_data.h"

namespace vp {

// The delimiter for ZahyouDiv. A value the settings dialog never produces
// falls back to the default, one space, so the file stays readable.
char text_delimiter(std::int32_t zahyou_div);

// Formats one record's line, CR LF included, into `out` and returns its length.
// kMaxTextLine is enough room for any record.
inline constexpr std::size_t kMaxTextLine = 4 * CoordinateFormatter::kMaxChars + 3 + 2;
std::size_t format_text_line(const LineRecord& r, const CoordinateFormatter& number, char delimiter, char* out);

// Every record's line, with options.text_delimiter and options.text_decimals.
bool write_text(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
                Progress& progress);

// The fitted drawing (--cad): a line per piece (cad_pieces.h), arcs and circles
// as their chords, each number RealFormatter's text of x × rate or y × rate.
bool write_text_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                    Progress& progress);

}  // namespace vp
