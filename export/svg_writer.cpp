#include "export/svg_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

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

}  // namespace

bool write_svg(std::ostream& out, std::span<const LineRecord> records, float rate, const ExportOptions& options,
               Progress& progress) {
  const int decimals = options.dxf_decimals;
  const SvgPage page = svg_page(records, rate, decimals);
  std::string head;
  head += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n";
  head += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + page.width + "mm\" height=\"" +
          page.height + "mm\" viewBox=\"" + page.left + " " + negated_decimal(page.top) + " " + page.width + " " +
          page.height + "\">\r\n";
  // y upwards, as in the table: the flip is the group's, the numbers stay as in DXF.
  head += "<g transform=\"scale(1,-1)\" fill=\"none\" stroke-width=\"" + shortest_magnitude_text(rate) +
          "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\r\n";
  if (!write_text(out, head)) return false;

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
    const std::string open = "<g id=\"" + std::string(dxf_layer_name(kLayerOrder[layer])) + "\" stroke=\"" +
                             std::string(svg_layer_colour(kLayerOrder[layer])) + "\">\r\n";
    if (!write_text(out, open)) return false;
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
  // A page of no width or height would be valid SVG that no viewer opens: such
  // a side is 1 mm long instead, from the left or bottom edge.
  const std::string one = decimal_one(number.decimals());
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
  return page;
}

}  // namespace vp
