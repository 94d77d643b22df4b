#include "export/svg_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "export/atomic_file.h"

namespace vp {
namespace {

// A decimal text as a sign and the digits of its magnitude, the point dropped.
struct Decimal {
  bool negative = false;
  std::string digits;  // most significant first, no leading zeros ("" for zero)
  std::size_t decimals = 0;
};

Decimal parse_decimal(std::string_view text) {
  Decimal d;
  if (!text.empty() && text.front() == '-') {
    d.negative = true;
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  if (point != std::string_view::npos) d.decimals = text.size() - point - 1;
  for (const char c : text)
    if (c != '.') d.digits.push_back(c);
  d.digits.erase(0, std::min(d.digits.find_first_not_of('0'), d.digits.size()));
  if (d.digits.empty()) d.negative = false;
  return d;
}

int compare_magnitudes(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

// |a| + |b| and |a| - |b| (for |a| >= |b|), on digit strings.
std::string add_magnitudes(const std::string& a, const std::string& b) {
  std::string sum;
  int carry = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry != 0; ++i) {
    const int da = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
    const int db = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    const int s = da + db + carry;
    sum.push_back(static_cast<char>('0' + s % 10));
    carry = s / 10;
  }
  std::reverse(sum.begin(), sum.end());
  return sum;
}

std::string subtract_magnitudes(const std::string& a, const std::string& b) {
  std::string difference;
  int borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    int d = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
    borrow = d < 0 ? 1 : 0;
    if (d < 0) d += 10;
    difference.push_back(static_cast<char>('0' + d));
  }
  while (difference.size() > 1 && difference.back() == '0') difference.pop_back();
  std::reverse(difference.begin(), difference.end());
  return difference;
}

std::string format_decimal(bool negative, std::string digits, std::size_t decimals) {
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  const bool zero = digits.empty();
  if (digits.size() < decimals + 1) digits.insert(0, decimals + 1 - digits.size(), '0');
  if (decimals > 0) digits.insert(digits.size() - decimals, 1, '.');
  return (negative && !zero ? "-" : "") + digits;
}

// The text of -v for a text v: the sign changes, zero keeps none.
std::string negated(std::string_view text) {
  const Decimal d = parse_decimal(text);
  return format_decimal(!d.negative && !d.digits.empty(), d.digits, d.decimals);
}

constexpr std::array<SegmentClass, 5> kLayerOrder = {SegmentClass::Plain, SegmentClass::Horizontal,
                                                     SegmentClass::Vertical, SegmentClass::Oblique,
                                                     SegmentClass::Short};

std::size_t layer_index(SegmentClass layer) {
  return static_cast<std::size_t>(std::find(kLayerOrder.begin(), kLayerOrder.end(), layer) - kLayerOrder.begin());
}

// One grid unit in millimetres: |rate| as the shortest text that reads back as it.
std::string stroke_width_text(float rate) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(rate), std::chars_format::fixed);
  if (ec != std::errc()) return "1";
  return std::string(buffer, end);
}

char* put(char* p, std::string_view text) {
  std::memcpy(p, text.data(), text.size());
  return p + text.size();
}

constexpr std::size_t kMaxLine = 64 + 4 * CoordinateFormatter::kMaxChars;

bool write_text(std::ostream& out, std::string_view text) {
  return static_cast<bool>(out.write(text.data(), static_cast<std::streamsize>(text.size())));
}

bool write_svg(std::ostream& out, const SvgSaveInput& input, float rate, SavingDialog& dialog) {
  const int decimals = DecimalDigits(input.options.DxfReal);
  const SvgPage page = svg_page(input.records, rate, decimals);
  std::string head;
  head += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n";
  head += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + page.width + "mm\" height=\"" +
          page.height + "mm\" viewBox=\"" + page.left + " " + negated(page.top) + " " + page.width + " " +
          page.height + "\">\r\n";
  // y upwards, as in the table: the flip is the group's, the numbers stay as in DXF.
  head += "<g transform=\"scale(1,-1)\" fill=\"none\" stroke-width=\"" + stroke_width_text(rate) +
          "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\r\n";
  if (!write_text(out, head)) return false;

  // The layer of a record is worked out again in each layer's pass rather than
  // kept: a save then needs no memory beyond the table it writes.
  const SegmentOptions layers = dxf_segment_options(input.options);
  const auto layer_of = [&](const LineRecord& r) { return layer_index(classify_segment(r, rate, layers)); };
  std::array<std::int64_t, kLayerOrder.size()> in_layer{};
  for (const LineRecord& r : input.records) ++in_layer[layer_of(r)];

  const CoordinateFormatter number(rate, decimals);
  const auto count = static_cast<std::int64_t>(input.records.size());
  std::int64_t written = 0;
  char line[kMaxLine];
  for (std::size_t layer = 0; layer < kLayerOrder.size(); ++layer) {
    if (in_layer[layer] == 0) continue;
    const std::string open = "<g id=\"" + std::string(dxf_layer_name(kLayerOrder[layer])) + "\" stroke=\"" +
                             std::string(svg_layer_colour(kLayerOrder[layer])) + "\">\r\n";
    if (!write_text(out, open)) return false;
    for (const LineRecord& r : input.records) {
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
      dialog.record_written(written, count);
      if (written % 100 == 0) dialog.process_events();
    }
    if (!write_text(out, "</g>\r\n")) return false;
  }
  return write_text(out, "</g>\r\n</svg>\r\n");
}

}  // namespace

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

std::string decimal_difference(std::string_view a, std::string_view b) {
  const Decimal x = parse_decimal(a);
  Decimal y = parse_decimal(b);
  y.negative = !y.negative && !y.digits.empty();  // a - b = a + (-b)
  if (x.negative == y.negative) {
    return format_decimal(x.negative, add_magnitudes(x.digits, y.digits), x.decimals);
  }
  if (compare_magnitudes(x.digits, y.digits) >= 0) {
    return format_decimal(x.negative, subtract_magnitudes(x.digits, y.digits), x.decimals);
  }
  return format_decimal(y.negative, subtract_magnitudes(y.digits, x.digits), x.decimals);
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
  const std::string one = format_decimal(false, "1" + std::string(static_cast<std::size_t>(number.decimals()), '0'),
                                         static_cast<std::size_t>(number.decimals()));
  const std::string minus_one = "-" + one;
  page.width = decimal_difference(page.right, page.left);
  if (parse_decimal(page.width).digits.empty()) {
    page.right = decimal_difference(page.left, minus_one);
    page.width = one;
  }
  page.height = decimal_difference(page.top, page.bottom);
  if (parse_decimal(page.height).digits.empty()) {
    page.top = decimal_difference(page.bottom, minus_one);
    page.height = one;
  }
  return page;
}

SaveResult SaveSVG(std::ostream& out, const SvgSaveInput& input, SaveHost& host) {
  const std::optional<float> rate = read_magnification(input.magnification, host);
  if (!rate) return {1, SaveFailure::InvalidRate, {}};
  bool ok = false;
  {
    SavingDialog dialog(host);
    ok = write_svg(out, input, *rate, dialog) && out.flush();
  }
  if (!ok) return {1, SaveFailure::Write, std::make_error_code(std::errc::io_error)};
  return {};
}

SaveResult SaveSVG(const std::filesystem::path& path, const SvgSaveInput& input, SaveHost& host) {
  const std::optional<float> rate = read_magnification(input.magnification, host);
  if (!rate) return {1, SaveFailure::InvalidRate, {}};
  SavingDialog dialog(host);
  AtomicFile file(path, abort_check(host));
  if (const std::error_code created = file.open()) return {1, SaveFailure::Create, created};
  bool written = false;
  {
    std::ostream out(&file.buffer());
    written = write_svg(out, input, *rate, dialog);
  }
  // The file is closed and in place before the dialog goes away.
  if (const std::error_code failure = file.finish(written)) return {1, SaveFailure::Write, failure};
  return {};
}

}  // namespace vp
