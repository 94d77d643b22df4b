#include "export/svg_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "export/dxf_writer.h"

namespace vp {
namespace {

constexpr std::array<SegmentClass, 5> kLayerOrder = {
    SegmentClass::Plain, SegmentClass::Horizontal, SegmentClass::Vertical, SegmentClass::Oblique, SegmentClass::Short};

std::size_t layer_index(SegmentClass layer) {
  return static_cast<std::size_t>(std::find(kLayerOrder.begin(), kLayerOrder.end(), layer) - kLayerOrder.begin());
}

char* put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

constexpr std::size_t kMaxLine = 64 + 4 * CoordinateFormatter::kMaxChars;

bool write_text(std::ostream& out, std::string_view text) {
  return static_cast<bool>(out.write(text.data(), static_cast<std::streamsize>(text.size())));
}

// The XML declaration, the page and the group that stands the drawing upright.
std::string svg_head(const SvgPage& page, float rate) {
  std::string head;
  head += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n";
  head += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + page.width + "mm\" height=\"" +
          page.height + "mm\" viewBox=\"" + page.left + " " + negated_decimal(page.top) + " " + page.width + " " +
          page.height + "\">\r\n";
  // y upwards, as in the table: the flip is the group's, the numbers stay as in DXF.
  head += "<g transform=\"scale(1,-1)\" fill=\"none\" stroke-width=\"" + shortest_magnitude_text(rate) +
          "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\r\n";
  return head;
}

std::string layer_open(std::size_t layer) {
  return "<g id=\"" + std::string(dxf_layer_name(kLayerOrder[layer])) + "\" stroke=\"" +
         std::string(svg_layer_colour(kLayerOrder[layer])) + "\">\r\n";
}

// A page of no width or height would be valid SVG that no viewer opens: such
// a side is 1 mm long instead, from the left or bottom edge.
void give_the_page_size(SvgPage& page, int decimals) {
  const std::string one = decimal_one(decimals);
  const std::string minus_one = "-" + one;
  page.width = decimal_difference(page.right, page.left);
  if (decimal_is_zero(page.width)) {
    page.right = decimal_difference(page.left, minus_one);
    page.width = one;
  }
  page.height = decimal_difference(page.top, page.bottom);
  if (decimal_is_zero(page.height)) {
    page.top = decimal_difference(page.bottom, minus_one);
    page.height = one;
  }
}

}  // namespace

bool write_svg(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress) {
  const int decimals = options.dxf_decimals;
  if (!write_text(out, svg_head(svg_page(records, rate, decimals), rate))) return false;

  // The layer of a record is worked out again in each layer's pass rather than
  // kept: a save then needs no memory beyond the table it writes.
  const SegmentOptions& layers = options.dxf_layers;
  const auto layer_of = [&](const LineRecord& r) { return layer_index(classify_segment(r, rate, layers)); };
  std::array<std::int64_t, kLayerOrder.size()> in_layer{};
  for (const LineRecord& r : records) ++in_layer[layer_of(r)];

  const CoordinateFormatter number(rate, decimals);
  const auto count = static_cast<std::int64_t>(records.size());
  std::int64_t written = 0;
  char line[kMaxLine];
  for (std::size_t layer = 0; layer < kLayerOrder.size(); ++layer) {
    if (in_layer[layer] == 0) continue;
    if (!write_text(out, layer_open(layer))) return false;
    for (const LineRecord& r : records) {
      if (layer_of(r) != layer) continue;
      char* p = put(line, "<line x1=\"");
      p += number.write(r.x1, p);
      p = put(p, "\" y1=\"");
      p += number.write(r.y1, p);
      p = put(p, "\" x2=\"");
      p += number.write(r.x2, p);
      p = put(p, "\" y2=\"");
      p += number.write(r.y2, p);
      p = put(p, "\"/>\r\n");
      if (!out.write(line, p - line)) return false;
      ++written;
      if (!progress.report(Phase::Save, written, count)) return false;
    }
    if (!write_text(out, "</g>\r\n")) return false;
  }
  return write_text(out, "</g>\r\n</svg>\r\n");
}

std::string_view svg_layer_colour(SegmentClass layer) {
  switch (layer) {
    case SegmentClass::Horizontal:
      return "#FF0000";
    case SegmentClass::Vertical:
      return "#0000FF";
    case SegmentClass::Oblique:
      return "#008000";
    case SegmentClass::Short:
      return "#FF00FF";
    case SegmentClass::Plain:
      break;
  }
  return "#000000";
}

SvgPage svg_page(std::span<const LineRecord> records, float rate, int decimals) {
  const CoordinateFormatter number(rate, decimals);
  SvgPage page;
  if (records.empty()) {
    page.left = page.bottom = page.right = page.top = number.text(0);
  } else {
    constexpr std::int64_t kLow = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHigh = std::numeric_limits<std::int32_t>::max();
    std::int64_t x_min = kHigh, x_max = kLow, y_min = kHigh, y_max = kLow;
    for (const LineRecord& r : records) {
      x_min = std::min({x_min, std::int64_t{r.x1}, std::int64_t{r.x2}});
      x_max = std::max({x_max, std::int64_t{r.x1}, std::int64_t{r.x2}});
      y_min = std::min({y_min, std::int64_t{r.y1}, std::int64_t{r.y2}});
      y_max = std::max({y_max, std::int64_t{r.y1}, std::int64_t{r.y2}});
    }
    // One grid unit of margin, where the coordinate can still be written.
    const auto widen = [&](std::int64_t c) { return static_cast<std::int32_t>(std::clamp(c, kLow, kHigh)); };
    const std::int32_t lo_x = widen(x_min - 1), hi_x = widen(x_max + 1);
    const std::int32_t lo_y = widen(y_min - 1), hi_y = widen(y_max + 1);
    // A negative magnification reverses both axes: the page's left edge is then
    // the largest grid coordinate. The rounding keeps the order of the values.
    const bool reversed = rate < 0;
    page.left = number.text(reversed ? hi_x : lo_x);
    page.right = number.text(reversed ? lo_x : hi_x);
    page.bottom = number.text(reversed ? hi_y : lo_y);
    page.top = number.text(reversed ? lo_y : hi_y);
  }
  give_the_page_size(page, number.decimals());
  return page;
}

// --- The fitted drawing (--cad) ---------------------------------------------

namespace {

struct Box {
  double x_min = std::numeric_limits<double>::infinity(), y_min = x_min;
  double x_max = -x_min, y_max = -x_min;
  void take(cad::Point p) {
    x_min = std::min(x_min, p.x);
    x_max = std::max(x_max, p.x);
    y_min = std::min(y_min, p.y);
    y_max = std::max(y_max, p.y);
  }
};

// An arc reaches past its ends where it crosses one of the axes' directions
// from its centre.
void take_arc(Box& box, const cad::Arc& arc) {
  box.take(cad::arc_start_point(arc));
  box.take(cad::arc_end_point(arc));
  for (int quarter = 0; quarter < 4; ++quarter) {
    const double angle = quarter * (std::numbers::pi / 2);
    const double from_start = std::fmod(angle - arc.start + 4 * std::numbers::pi, 2 * std::numbers::pi);
    if (from_start <= arc.sweep) box.take(cad::point_on_arc(arc, angle));
  }
}

}  // namespace

SvgPage svg_page(const cad::CadDrawing& drawing, float rate, int decimals) {
  const RealFormatter number(rate, decimals);
  SvgPage page;
  if (drawing.empty()) {
    page.left = page.bottom = page.right = page.top = number.text(0);
  } else {
    Box box;
    for (const cad::Line& line : drawing.lines) {
      box.take(line.a);
      box.take(line.b);
    }
    for (const cad::Arc& arc : drawing.arcs) take_arc(box, arc);
    for (const cad::Circle& c : drawing.circles) {
      box.take({c.centre.x - c.radius, c.centre.y - c.radius});
      box.take({c.centre.x + c.radius, c.centre.y + c.radius});
    }
    // One grid unit of margin; a negative magnification reverses both axes.
    const bool reversed = rate < 0;
    page.left = number.scaled_text(reversed ? box.x_max + 1 : box.x_min - 1);
    page.right = number.scaled_text(reversed ? box.x_min - 1 : box.x_max + 1);
    page.bottom = number.scaled_text(reversed ? box.y_max + 1 : box.y_min - 1);
    page.top = number.scaled_text(reversed ? box.y_min - 1 : box.y_max + 1);
  }
  give_the_page_size(page, number.decimals());
  return page;
}

bool write_svg_cad(std::ostream& out, const cad::CadDrawing& drawing, float rate, const ExportOptions& options,
                   Progress& progress) {
  const int decimals = options.dxf_decimals;
  if (!write_text(out, svg_head(svg_page(drawing, rate, decimals), rate))) return false;

  const SegmentOptions& layers = options.dxf_layers;
  const auto line_layer = [&](const cad::Line& line) { return layer_index(classify_line(line, rate, layers)); };
  const auto arc_layer = [&](const cad::Arc& arc) {
    return layer_index(classify_curve(cad::arc_length(arc), rate, layers));
  };
  const auto circle_layer = [&](const cad::Circle& circle) {
    return layer_index(classify_curve(cad::circle_length(circle), rate, layers));
  };
  std::array<std::int64_t, kLayerOrder.size()> in_layer{};
  for (const cad::Line& line : drawing.lines) ++in_layer[line_layer(line)];
  for (const cad::Arc& arc : drawing.arcs) ++in_layer[arc_layer(arc)];
  for (const cad::Circle& circle : drawing.circles) ++in_layer[circle_layer(circle)];

  const RealFormatter number(rate, decimals);
  const auto total = static_cast<std::int64_t>(drawing.entity_count());
  std::int64_t written = 0;
  std::string element(64 + 7 * RealFormatter::kMaxChars, '\0');
  const auto put_number = [&](char* p, double grid_value) { return p + number.write_scaled(grid_value, p); };
  const auto put_length = [&](char* p, double grid_length) {
    return p + number.write(std::fabs(number.scaled(grid_length)), p);
  };
  const auto finish = [&](char* end) {
    return out.write(element.data(), end - element.data()) && progress.report(Phase::Save, ++written, total);
  };
  for (std::size_t layer = 0; layer < kLayerOrder.size(); ++layer) {
    if (in_layer[layer] == 0) continue;
    if (!write_text(out, layer_open(layer))) return false;
    for (const cad::Line& line : drawing.lines) {
      if (line_layer(line) != layer) continue;
      char* p = put(element.data(), "<line x1=\"");
      p = put(put_number(p, line.a.x), "\" y1=\"");
      p = put(put_number(p, line.a.y), "\" x2=\"");
      p = put(put_number(p, line.b.x), "\" y2=\"");
      p = put(put_number(p, line.b.y), "\"/>\r\n");
      if (!finish(p)) return false;
    }
    for (const cad::Arc& arc : drawing.arcs) {
      if (arc_layer(arc) != layer) continue;
      // In the flipped group y grows upwards, so the grid's counter-clockwise is
      // SVG's positive-angle direction there: sweep-flag 1.
      const cad::Point from = cad::arc_start_point(arc), to = cad::arc_end_point(arc);
      char* p = put(element.data(), "<path d=\"M ");
      p = put(put_number(p, from.x), " ");
      p = put(put_number(p, from.y), " A ");
      p = put(put_length(p, arc.radius), " ");
      p = put(put_length(p, arc.radius), arc.sweep > std::numbers::pi ? " 0 1 1 " : " 0 0 1 ");
      p = put(put_number(p, to.x), " ");
      p = put(put_number(p, to.y), "\"/>\r\n");
      if (!finish(p)) return false;
    }
    for (const cad::Circle& circle : drawing.circles) {
      if (circle_layer(circle) != layer) continue;
      char* p = put(element.data(), "<circle cx=\"");
      p = put(put_number(p, circle.centre.x), "\" cy=\"");
      p = put(put_number(p, circle.centre.y), "\" r=\"");
      p = put(put_length(p, circle.radius), "\"/>\r\n");
      if (!finish(p)) return false;
    }
    if (!write_text(out, "</g>\r\n")) return false;
  }
  return write_text(out, "</g>\r\n</svg>\r\n");
}

}  // namespace vp
