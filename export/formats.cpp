#include "export/formats.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "export/dxf_writer.h"
#include "export/jwc_writer.h"
#include "export/svg_writer.h"
#include "export/text_writer.h"

namespace vp {
namespace {

// Filter-index order: SVG came last, so that the first three kept their indices.
constexpr ExportFormat kFormats[] = {
    {.name = "text",
     .caption = "座標形式",
     .summary = "coordinate text: one line \"x1 y1 x2 y2\" per segment, in millimetres",
     .filter_index = 1,
     .extensions = {".txt", ".text", ".csv"},
     .write = write_text,
     .write_cad = write_text_cad,
     .events_every = 1,
     .create_before_dialog = true},
    {.name = "dxf",
     .caption = "DXF形式(*.dxf)",
     .summary = "DXF: the header template, then one LINE entity per segment",
     .filter_index = 2,
     .extensions = {".dxf"},
     .write = write_dxf,
     .write_cad = write_dxf_cad,
     .uses_dxf_header = true},
    {.name = "jwc",
     .caption = "jw_cad形式(*.jwc)",
     .summary = "jw_cad drawing",
     .filter_index = 3,
     .extensions = {".jwc"},
     .write = write_jwc,
     .write_cad = write_jwc_cad,
     .stored = jwc_coordinate,
     .stored_real = jwc_real_coordinate,
     .events_every = 100,
     .failure_message = kJwcNotSavedMessage},
    {.name = "svg",
     .caption = "SVG形式(*.svg)",
     .summary = "SVG at true size in millimetres, one group per DXF layer, upright",
     .filter_index = 4,
     .extensions = {".svg"},
     .write = write_svg,
     .write_cad = write_svg_cad,
     .events_every = 100},
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// ZahyouExt chooses among a format's extensions; a format with one has no choice.
std::optional<std::string_view> written_extension(const ExportFormat& format, std::int32_t zahyou_ext) {
  if (format.extensions[1].empty()) return format.extensions[0];
  if (zahyou_ext < 0 || zahyou_ext >= static_cast<std::int32_t>(format.extensions.size())) return std::nullopt;
  const std::string_view extension = format.extensions[static_cast<std::size_t>(zahyou_ext)];
  if (extension.empty()) return std::nullopt;
  return extension;
}

}  // namespace

std::span<const ExportFormat> export_formats() { return kFormats; }

const ExportFormat* format_by_filter_index(int filter_index) {
  for (const ExportFormat& format : kFormats)
    if (format.filter_index == filter_index) return &format;
  return nullptr;
}

const ExportFormat* format_by_extension(std::string_view extension) {
  for (const ExportFormat& format : kFormats)
    for (std::string_view candidate : format.extensions)
      if (!candidate.empty() && same_ignoring_case(candidate, extension)) return &format;
  return nullptr;
}

std::optional<std::string> default_extension(int filter_index, std::int32_t zahyou_ext) {
  const auto extension = output_extension(filter_index, zahyou_ext);
  if (!extension) return std::nullopt;
  std::string shown(*extension);
  std::transform(shown.begin(), shown.end(), shown.begin(), upper);
  return shown;
}

std::optional<std::string_view> dialog_extension(int filter_index) {
  const ExportFormat* format = format_by_filter_index(filter_index);
  if (format == nullptr) return std::nullopt;
  return format->extensions[0];
}

std::optional<std::string_view> output_extension(int filter_index, std::int32_t zahyou_ext) {
  const ExportFormat* format = format_by_filter_index(filter_index);
  if (format == nullptr) return std::nullopt;
  return written_extension(*format, zahyou_ext);
}

bool rate_fits(const ExportFormat& format, std::span<const LineRecord> records, float rate) {
  if (format.stored == nullptr || records.empty()) return true;
  // The stored value grows with the coordinate, so the two extremes decide.
  std::int32_t low = records.front().x1, high = low;
  for (const LineRecord& r : records) {
    low = std::min({low, r.x1, r.y1, r.x2, r.y2});
    high = std::max({high, r.x1, r.y1, r.x2, r.y2});
  }
  return std::isfinite(format.stored(low, rate)) && std::isfinite(format.stored(high, rate));
}

bool rate_fits(const ExportFormat& format, const cad::CadDrawing& drawing, float rate) {
  if (format.stored_real == nullptr || drawing.empty()) return true;
  // As above: the stored value grows with the coordinate, so the extremes decide.
  double low = std::numeric_limits<double>::infinity(), high = -low;
  const auto take = [&](double c) {
    low = std::min(low, c);
    high = std::max(high, c);
    return std::isnan(c);
  };
  bool nan = false;
  for (const cad::Line& line : drawing.lines) {
    for (const double c : {line.a.x, line.a.y, line.b.x, line.b.y}) nan |= take(c);
  }
  const auto take_curve = [&](cad::Point centre, double radius) {
    for (const double c : {centre.x - radius, centre.x + radius, centre.y - radius, centre.y + radius}) nan |= take(c);
  };
  for (const cad::Arc& arc : drawing.arcs) take_curve(arc.centre, arc.radius);
  for (const cad::Circle& circle : drawing.circles) take_curve(circle.centre, circle.radius);
  return !nan && std::isfinite(format.stored_real(low, rate)) && std::isfinite(format.stored_real(high, rate));
}

}  // namespace vp
