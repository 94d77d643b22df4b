#include "app/gui/PreviewModel.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "export/svg_writer.h"

namespace vp::gui {

// --- Where the grid lies on the screen ---------------------------------------

ScreenPoint PreviewView::toScreen(GridPoint p) const {
  return {origin_x + (p.x + 0.5) * scale, origin_y - (p.y + 0.5) * scale};
}

ScreenPoint PreviewView::drawingToScreen(cad::Point p) const {
  return {origin_x + (p.x + 0.5) * scale, origin_y - (p.y + 0.5) * scale};
}

ScreenPoint PreviewView::toGrid(ScreenPoint s) const { return {(s.x - origin_x) / scale, (origin_y - s.y) / scale}; }

PreviewView PreviewView::fit(std::int32_t grid_width, std::int32_t grid_height, int view_width, int view_height,
                             int margin) {
  const double cells_x = std::max(grid_width, 1);
  const double cells_y = std::max(grid_height, 1);
  const double room_x = std::max(view_width - 2 * margin, 1);
  const double room_y = std::max(view_height - 2 * margin, 1);
  PreviewView view;
  view.scale = std::min({room_x / cells_x, room_y / cells_y, kLargestScale});
  view.origin_x = (view_width - cells_x * view.scale) / 2.0;
  view.origin_y = (view_height + cells_y * view.scale) / 2.0;
  return view;
}

PreviewView PreviewView::zoomedAt(double factor, ScreenPoint at, double smallest) const {
  const ScreenPoint g = toGrid(at);
  PreviewView view;
  view.scale = std::clamp(scale * factor, std::min(smallest, kLargestScale), kLargestScale);
  view.origin_x = at.x - g.x * view.scale;
  view.origin_y = at.y + g.y * view.scale;
  return view;
}

int pyramidLevel(double scale) {
  int level = 0;
  while (level < 30 && std::ldexp(scale, level) < 1.0) ++level;
  return level;
}

// --- Layers ------------------------------------------------------------------

std::size_t classIndex(SegmentClass c) {
  return static_cast<std::size_t>(std::find(kPreviewClasses.begin(), kPreviewClasses.end(), c) -
                                  kPreviewClasses.begin());
}

SegmentOptions dxf_segment_options(const DxfOptions& options) {
  return {options.DxfOption2 == 2, options.DxfOption1 == 2, options.DxfOption1_Len};
}

namespace {

// Which layers the summary's legend lists for these options.
void markShownLayers(const SegmentOptions& rule, LayerSummary& summary) {
  if (rule.split) {
    summary.shown[classIndex(SegmentClass::Horizontal)] = true;
    summary.shown[classIndex(SegmentClass::Vertical)] = true;
    summary.shown[classIndex(SegmentClass::Oblique)] = true;
  } else {
    summary.shown[classIndex(SegmentClass::Plain)] = true;
  }
  if (rule.short_lines) summary.shown[classIndex(SegmentClass::Short)] = true;
}

// The layer rule for a summary: without a magnification the short-line test
// cannot be made, and the summary says it was left out.
SegmentOptions summaryRule(const DxfOptions& options, std::optional<float> rate, LayerSummary& summary) {
  SegmentOptions rule = dxf_segment_options(options);
  if (rule.short_lines && !rate) {
    rule.short_lines = false;
    summary.short_lines_skipped = true;
  }
  return rule;
}

}  // namespace

LayerSummary classifyRecords(std::span<const LineRecord> records, std::optional<float> rate,
                             const DxfOptions& options) {
  LayerSummary summary;
  const SegmentOptions rule = summaryRule(options, rate, summary);
  const float r = rate.value_or(1.0f);  // read only by the short-line test
  summary.classes.reserve(records.size());
  for (const LineRecord& record : records) {
    const SegmentClass c = classify_segment(record, r, rule);
    summary.classes.push_back(c);
    ++summary.counts[classIndex(c)];
  }
  markShownLayers(rule, summary);
  return summary;
}

LayerSummary classifyCad(const cad::CadDrawing& drawing, std::optional<float> rate, const DxfOptions& options) {
  LayerSummary summary;
  const SegmentOptions rule = summaryRule(options, rate, summary);
  const float r = rate.value_or(1.0f);  // read only by the short-line test
  summary.classes.reserve(drawing.entity_count());
  const auto add = [&](SegmentClass c) {
    summary.classes.push_back(c);
    ++summary.counts[classIndex(c)];
  };
  for (const cad::Line& line : drawing.lines) add(classify_line(line, r, rule));
  for (const cad::Arc& arc : drawing.arcs) add(classify_curve(cad::arc_length(arc), r, rule));
  for (const cad::Circle& circle : drawing.circles) add(classify_curve(cad::circle_length(circle), r, rule));
  markShownLayers(rule, summary);
  return summary;
}

// --- The drawing's size ------------------------------------------------------

std::optional<DrawingExtent> drawingExtent(std::span<const LineRecord> records, float rate, int decimals) {
  if (records.empty()) return std::nullopt;
  std::int32_t x_min = std::numeric_limits<std::int32_t>::max(), x_max = std::numeric_limits<std::int32_t>::min();
  std::int32_t y_min = x_min, y_max = x_max;
  for (const LineRecord& r : records) {
    x_min = std::min({x_min, r.x1, r.x2});
    x_max = std::max({x_max, r.x1, r.x2});
    y_min = std::min({y_min, r.y1, r.y2});
    y_max = std::max({y_max, r.y1, r.y2});
  }
  const CoordinateFormatter number(rate, decimals);
  // Rounding keeps the order of the products; a negative magnification turns it round.
  const bool reversed = rate < 0;
  DrawingExtent extent;
  extent.left = number.text(reversed ? x_max : x_min);
  extent.right = number.text(reversed ? x_min : x_max);
  extent.bottom = number.text(reversed ? y_max : y_min);
  extent.top = number.text(reversed ? y_min : y_max);
  extent.width = decimal_difference(extent.right, extent.left);
  extent.height = decimal_difference(extent.top, extent.bottom);
  return extent;
}

double totalLength(std::span<const LineRecord> records, float rate) {
  long double sum = 0;
  for (const LineRecord& r : records) sum += std::fabs(static_cast<long double>(SegmentLength(r, rate)));
  return static_cast<double>(sum);
}

namespace {

// The points that bound an arc: its ends and the quarter points (0°, 90°, ...) its sweep passes.
void arcBounds(const cad::Arc& arc, const std::function<void(cad::Point)>& take) {
  take(cad::arc_start_point(arc));
  take(cad::arc_end_point(arc));
  const double quarter = std::numbers::pi / 2;
  for (int k = 0; k < 8; ++k) {  // two turns: an arc may cross 0° before reaching a quarter
    const double angle = k * quarter;
    if (angle > arc.start && angle < arc.start + arc.sweep) {
      take({arc.centre.x + arc.radius * std::cos(angle), arc.centre.y + arc.radius * std::sin(angle)});
    }
  }
}

}  // namespace

std::optional<DrawingExtent> cadExtent(const cad::CadDrawing& drawing, float rate, int decimals) {
  if (drawing.empty()) return std::nullopt;
  double x_min = std::numeric_limits<double>::infinity(), x_max = -x_min, y_min = x_min, y_max = -x_min;
  const RealFormatter scale(rate, decimals);
  const auto take = [&](cad::Point p) {
    const double x = scale.scaled(p.x), y = scale.scaled(p.y);
    x_min = std::min(x_min, x);
    x_max = std::max(x_max, x);
    y_min = std::min(y_min, y);
    y_max = std::max(y_max, y);
  };
  for (const cad::Line& line : drawing.lines) {
    take(line.a);
    take(line.b);
  }
  for (const cad::Arc& arc : drawing.arcs) arcBounds(arc, take);
  for (const cad::Circle& c : drawing.circles) {
    take({c.centre.x - c.radius, c.centre.y - c.radius});
    take({c.centre.x + c.radius, c.centre.y + c.radius});
  }
  // The coordinates as the writers write them.
  DrawingExtent extent;
  extent.left = scale.text(x_min);
  extent.right = scale.text(x_max);
  extent.bottom = scale.text(y_min);
  extent.top = scale.text(y_max);
  extent.width = decimal_difference(extent.right, extent.left);
  extent.height = decimal_difference(extent.top, extent.bottom);
  return extent;
}

double cadLength(const cad::CadDrawing& drawing, float rate) {
  double sum = 0;
  for (const cad::Line& line : drawing.lines) sum += std::hypot(line.b.x - line.a.x, line.b.y - line.a.y);
  for (const cad::Arc& arc : drawing.arcs) sum += cad::arc_length(arc);
  for (const cad::Circle& circle : drawing.circles) sum += cad::circle_length(circle);
  return std::fabs(sum * static_cast<double>(rate));
}

// --- Picking two points ------------------------------------------------------

std::optional<GridPoint> nearestEnd(std::span<const LineRecord> records, const PreviewView& view, ScreenPoint at,
                                    double radius) {
  std::optional<GridPoint> best;
  double best_distance = radius * radius;
  const auto consider = [&](GridPoint p) {
    const ScreenPoint s = view.toScreen(p);
    const double d = (s.x - at.x) * (s.x - at.x) + (s.y - at.y) * (s.y - at.y);
    if (d < best_distance || (d == best_distance && !best)) {
      best_distance = d;
      best = p;
    }
  };
  for (const LineRecord& r : records) {
    consider({r.x1, r.y1});
    consider({r.x2, r.y2});
  }
  return best;
}

std::optional<cad::Point> nearestCadPoint(const cad::CadDrawing& drawing, const PreviewView& view, ScreenPoint at,
                                          double radius) {
  std::optional<cad::Point> best;
  double best_distance = radius * radius;
  const auto consider = [&](cad::Point p) {
    const ScreenPoint s = view.drawingToScreen(p);
    const double d = (s.x - at.x) * (s.x - at.x) + (s.y - at.y) * (s.y - at.y);
    if (d < best_distance || (d == best_distance && !best)) {
      best_distance = d;
      best = p;
    }
  };
  for (const cad::Line& line : drawing.lines) {
    consider(line.a);
    consider(line.b);
  }
  for (const cad::Arc& arc : drawing.arcs) {
    consider(cad::arc_start_point(arc));
    consider(cad::arc_end_point(arc));
    consider(arc.centre);
  }
  for (const cad::Circle& circle : drawing.circles) consider(circle.centre);
  return best;
}

}  // namespace vp::gui
