#include "export/dxf_writer.h"

#include "export/dxf_codes.h"

namespace vp {

std::string_view dxf_layer_name(SegmentClass layer) {
  switch (layer) {
    case SegmentClass::Horizontal:
      return "Horizon";
    case SegmentClass::Vertical:
      return "Vertical";
    case SegmentClass::Oblique:
      return "Oblique";
    case SegmentClass::Short:
      return "Short";
    case SegmentClass::Plain:
      break;
  }
  return "Velorin";
}

std::size_t format_dxf_entity(const LineRecord& r, SegmentClass layer, const CoordinateFormatter& number, char* out) {
  const auto coordinate = [&number](std::int32_t c) { return [&number, c](char* p) { return number.write(c, p); }; };
  char* p = out;
  p = dxf::put_group(p, 0, "LINE");
  p = dxf::put_group(p, 8, dxf_layer_name(layer));
  p = dxf::put_group(p, 6, "CONTINUOUS");
  p = dxf::put_group(p, 62, 1);  // every line in colour 1
  p = dxf::put_coordinate(p, 10, coordinate(r.x1));
  p = dxf::put_coordinate(p, 20, coordinate(r.y1));
  p = dxf::put_coordinate(p, 11, coordinate(r.x2));
  p = dxf::put_coordinate(p, 21, coordinate(r.y2));
  return static_cast<std::size_t>(p - out);
}

bool write_dxf(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress) {
  // An empty template may come without storage at all: nothing to write then.
  const std::string_view head = options.dxf_header;
  if (!head.empty() && !out.write(head.data(), static_cast<std::streamsize>(head.size()))) return false;
  const CoordinateFormatter number(rate, options.dxf_decimals);
  const auto count = static_cast<std::int64_t>(records.size());
  char entity[kMaxDxfEntity];
  for (std::int64_t i = 0; i < count; ++i) {
    const LineRecord& r = records[static_cast<std::size_t>(i)];
    const std::size_t len = format_dxf_entity(r, classify_segment(r, rate, options.dxf_layers), number, entity);
    if (!out.write(entity, static_cast<std::streamsize>(len))) return false;
    if (!progress.report(Phase::Save, i + 1, count)) return false;
  }
  char trailer[32];
  char* p = dxf::put_group(trailer, 0, "ENDSEC");
  p = dxf::put_group(p, 0, "EOF");
  return static_cast<bool>(out.write(trailer, p - trailer));
}

}  // namespace vp
