#include "export/dxf_writer.h"

#include <cmath>
#include <numbers>
#include <string>

#include "export/dxf_codes.h"
#include "export/entity_stream.h"

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

namespace {

// The groups every entity opens with: its kind, layer, linetype and colour.
char* put_entity_head(char* p, std::string_view kind, SegmentClass layer) {
  p = dxf::put_group(p, 0, kind);
  p = dxf::put_group(p, 8, dxf_layer_name(layer));
  p = dxf::put_group(p, 6, "CONTINUOUS");
  return dxf::put_group(p, 62, 1);  // every entity in colour 1
}

}  // namespace

std::size_t format_dxf_entity(const LineRecord& r, SegmentClass layer, const CoordinateFormatter& number, char* out) {
  const auto coordinate = [&number](std::int32_t c) { return [&number, c](char* p) { return number.write(c, p); }; };
  char* p = put_entity_head(out, "LINE", layer);
  p = dxf::put_coordinate(p, 10, coordinate(r.x1));
  p = dxf::put_coordinate(p, 20, coordinate(r.y1));
  p = dxf::put_coordinate(p, 11, coordinate(r.x2));
  p = dxf::put_coordinate(p, 21, coordinate(r.y2));
  return static_cast<std::size_t>(p - out);
}

namespace {

bool write_header(std::ostream& out, const ExportOptions& options) {
  // An empty template may come without storage at all: nothing to write then.
  const std::string_view head = options.dxf_header;
  return head.empty() || out.write(head.data(), static_cast<std::streamsize>(head.size()));
}

bool write_trailer(std::ostream& out) {
  char trailer[32];
  char* p = dxf::put_group(trailer, 0, "ENDSEC");
  p = dxf::put_group(p, 0, "EOF");
  return static_cast<bool>(out.write(trailer, p - trailer));
}

}  // namespace

bool write_dxf(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress) {
  if (!write_header(out, options)) return false;
  const CoordinateFormatter number(rate, options.dxf_decimals);
  const auto entity = [&](std::size_t i, char* into) {
    const LineRecord& r = records[i];
    return format_dxf_entity(r, classify_segment(r, rate, options.dxf_layers), number, into);
  };
  return write_entities(out, records.size(), kMaxDxfEntity, entity, progress) && write_trailer(out);
}

// --- The fitted drawing (--cad) ---------------------------------------------

DxfArcAngles dxf_arc_angles(const cad::Arc& arc, float rate) {
  // Both axes change sign with a negative magnification: half a turn, which
  // keeps the arc counter-clockwise.
  const double turn = rate < 0 ? 180.0 : 0.0;
  const auto degrees = [turn](double radians) {
    const double d = std::fmod(radians * (180.0 / std::numbers::pi) + turn, 360.0);
    return d < 0 ? d + 360.0 : d;
  };
  return {degrees(arc.start), degrees(arc.start + arc.sweep)};
}

namespace {

constexpr std::size_t kMaxCadEntity = 128 + 5 * RealFormatter::kMaxChars;

// Writes the DXF file's numbers: coordinates scaled, a radius as a length (never
// negative), angles as they are, kept below 360 once rounded.
class CadNumbers {
 public:
  CadNumbers(float rate, int decimals) : scaled_(rate, decimals), plain_(1, decimals), full_turn_(plain_.text(360.0)) {}

  char* coordinate(char* p, int code, double c) const {
    return dxf::put_coordinate(p, code, [&](char* q) { return scaled_.write_scaled(c, q); });
  }
  char* length(char* p, int code, double grid_length) const {
    return dxf::put_coordinate(p, code,
                               [&](char* q) { return plain_.write(std::fabs(scaled_.scaled(grid_length)), q); });
  }
  char* angle(char* p, int code, double degrees) const {
    return dxf::put_coordinate(p, code, [&](char* q) {
      const std::size_t len = plain_.write(degrees, q);
      // 359.99999 printed with four decimals reads 360.0000: that is 0.
      if (std::string_view(q, len) == full_turn_) return plain_.write(0.0, q);
      return len;
    });
  }

 private:
  RealFormatter scaled_;
  RealFormatter plain_;
  std::string full_turn_;
};

std::size_t format_line(const cad::Line& line, SegmentClass layer, const CadNumbers& number, char* out) {
  char* p = put_entity_head(out, "LINE", layer);
  p = number.coordinate(p, 10, line.a.x);
  p = number.coordinate(p, 20, line.a.y);
  p = number.coordinate(p, 11, line.b.x);
  p = number.coordinate(p, 21, line.b.y);
  return static_cast<std::size_t>(p - out);
}

std::size_t format_arc(const cad::Arc& arc, SegmentClass layer, float rate, const CadNumbers& number, char* out) {
  const DxfArcAngles angles = dxf_arc_angles(arc, rate);
  char* p = put_entity_head(out, "ARC", layer);
  p = number.coordinate(p, 10, arc.centre.x);
  p = number.coordinate(p, 20, arc.centre.y);
  p = number.length(p, 40, arc.radius);
  p = number.angle(p, 50, angles.start);
  p = number.angle(p, 51, angles.end);
  return static_cast<std::size_t>(p - out);
}

std::size_t format_circle(const cad::Circle& circle, SegmentClass layer, const CadNumbers& number, char* out) {
  char* p = put_entity_head(out, "CIRCLE", layer);
  p = number.coordinate(p, 10, circle.centre.x);
  p = number.coordinate(p, 20, circle.centre.y);
  p = number.length(p, 40, circle.radius);
  return static_cast<std::size_t>(p - out);
}

}  // namespace

bool write_dxf_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                   Progress& progress) {
  if (!write_header(out, options)) return false;
  const CadNumbers number(rate, options.dxf_decimals);
  const SegmentOptions& layers = options.dxf_layers;
  const auto total = static_cast<std::int64_t>(drawing.entity_count());
  std::int64_t done = 0;
  std::string entity(kMaxCadEntity, '\0');
  const auto put = [&](std::size_t len) {
    return out.write(entity.data(), static_cast<std::streamsize>(len)) && progress.report(Phase::Save, ++done, total);
  };
  for (const cad::Line& line : drawing.lines) {
    if (!put(format_line(line, classify_line(line, rate, layers), number, entity.data()))) return false;
  }
  for (const cad::Arc& arc : drawing.arcs) {
    const SegmentClass layer = classify_curve(cad::arc_length(arc), rate, layers);
    if (!put(format_arc(arc, layer, rate, number, entity.data()))) return false;
  }
  for (const cad::Circle& circle : drawing.circles) {
    const SegmentClass layer = classify_curve(cad::circle_length(circle), rate, layers);
    if (!put(format_circle(circle, layer, number, entity.data()))) return false;
  }
  return write_trailer(out);
}

}  // namespace vp
