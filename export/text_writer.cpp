#include "export/text_writer.h"

#include "export/cad_pieces.h"

namespace vp {

char text_delimiter(std::int32_t zahyou_div) {
  switch (zahyou_div) {
    case 1:
      return ',';
    case 2:
      return '-';
    case 3:
      return '/';
    default:
      return ' ';
  }
}

std::size_t format_text_line(const LineRecord& r, const CoordinateFormatter& number, char delimiter, char* out) {
  char* p = out;
  p += number.write(r.x1, p);
  *p++ = delimiter;
  p += number.write(r.y1, p);
  *p++ = delimiter;
  p += number.write(r.x2, p);
  *p++ = delimiter;
  p += number.write(r.y2, p);
  *p++ = '\r';
  *p++ = '\n';
  return static_cast<std::size_t>(p - out);
}

bool write_text(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
                Progress& progress) {
  const CoordinateFormatter number(rate, options.text_decimals);
  const auto count = static_cast<std::int64_t>(records.size());
  char line[kMaxTextLine];
  for (std::int64_t i = 0; i < count; ++i) {
    const std::size_t len =
        format_text_line(records[static_cast<std::size_t>(i)], number, options.text_delimiter, line);
    if (!out.write(line, static_cast<std::streamsize>(len))) return false;
    if (!progress.report(Phase::Save, i + 1, count)) return false;
  }
  return static_cast<bool>(out);
}

bool write_text_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                    Progress& progress) {
  const RealFormatter number(rate, options.text_decimals);
  const char delimiter = options.text_delimiter;
  char line[4 * RealFormatter::kMaxChars + 3 + 2];
  const auto write_piece = [&](const cad::Line& piece, SegmentClass) {
    char* p = line;
    p += number.write_scaled(piece.a.x, p);
    *p++ = delimiter;
    p += number.write_scaled(piece.a.y, p);
    *p++ = delimiter;
    p += number.write_scaled(piece.b.x, p);
    *p++ = delimiter;
    p += number.write_scaled(piece.b.y, p);
    *p++ = '\r';
    *p++ = '\n';
    return static_cast<bool>(out.write(line, p - line));
  };
  return for_each_cad_piece(drawing, rate, {}, write_piece, progress) && static_cast<bool>(out);
}

}  // namespace vp
