#include "export/export_rules.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace vp {

namespace {

constexpr bool is_digit(char ch) { return ch >= '0' && ch <= '9'; }

// Saturating decimal exponent: far beyond any float, so clamping changes nothing.
constexpr std::int64_t kExponentClamp = 1'000'000'000;

}  // namespace

// --- Magnification ---------------------------------------------------------

std::optional<float> parse_rate(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t body_start = i;

  // Position of the first non-zero digit relative to the point, to tell an
  // overflow from an underflow when the conversion reports a range error.
  std::int64_t leading_exponent = 0;
  bool seen_nonzero = false;
  std::size_t int_digits = 0;
  while (i < text.size() && is_digit(text[i])) {
    if (seen_nonzero) {
      ++leading_exponent;
    } else if (text[i] != '0') {
      seen_nonzero = true;
    }
    ++int_digits;
    ++i;
  }
  std::size_t frac_digits = 0;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && is_digit(text[i])) {
      if (!seen_nonzero) {
        --leading_exponent;
        if (text[i] != '0') seen_nonzero = true;
      }
      ++frac_digits;
      ++i;
    }
  }
  if (int_digits == 0 && frac_digits == 0) return std::nullopt;

  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      exp_negative = text[i] == '-';
      ++i;
    }
    std::int64_t exponent = 0;
    std::size_t exp_digits = 0;
    while (i < text.size() && is_digit(text[i])) {
      exponent = std::min<std::int64_t>(exponent * 10 + (text[i] - '0'), kExponentClamp);
      ++exp_digits;
      ++i;
    }
    if (exp_digits == 0) return std::nullopt;
    leading_exponent += exp_negative ? -exponent : exponent;
  }
  if (i != text.size()) return std::nullopt;

  // The body is now known to be plain decimal text, which from_chars converts
  // correctly rounded and without regard to the locale. The sign is applied
  // afterwards because from_chars does not take "+".
  const std::string_view body = text.substr(body_start);
  float value = 0.0f;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too large is invalid; too small is a zero of the float type.
    if (!seen_nonzero || leading_exponent < 0) {
      value = 0.0f;
    } else {
      return std::nullopt;
    }
  } else if (ec != std::errc() || end != body.data() + body.size()) {
    return std::nullopt;
  }
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

// --- Coordinates -----------------------------------------------------------

int DecimalDigits(std::int32_t index) {
  static constexpr std::array<int, 6> kDigits{0, 1, 2, 3, 4, 8};
  if (index < 0 || index >= static_cast<std::int32_t>(kDigits.size())) return 0;
  return kDigits[static_cast<std::size_t>(index)];
}

// --- Segment classification -----------------------------------------------

float SegmentLength(const LineRecord& r, float rate) {
  // The products below are exact in the extended type: a 33-bit difference or a
  // 32-bit coordinate times a 24-bit mantissa.
  const long double lr = rate;
  if (is_horizontal(r)) {
    const std::int64_t d = std::int64_t{r.x2} - r.x1;
    return static_cast<float>(static_cast<long double>(d) * lr);
  }
  if (is_vertical(r)) {
    const std::int64_t d = std::int64_t{r.y2} - r.y1;
    return static_cast<float>(static_cast<long double>(d) * lr);
  }
  const long double dx = std::fabs(static_cast<long double>(r.x2) * lr - static_cast<long double>(r.x1) * lr);
  const long double dy = std::fabs(static_cast<long double>(r.y2) * lr - static_cast<long double>(r.y1) * lr);
  return static_cast<float>(std::sqrt(dx * dx + dy * dy));
}

bool is_short_segment(const LineRecord& r, float rate, std::int32_t limit_mm) {
  if (limit_mm <= 0) return false;
  // Compared in double: exact for every float and every int32.
  return std::fabs(static_cast<double>(SegmentLength(r, rate))) < static_cast<double>(limit_mm);
}

SegmentClass classify_segment(const LineRecord& r, float rate, const SegmentOptions& options) {
  SegmentClass result = SegmentClass::Plain;
  if (options.split) {
    result = SegmentClass::Oblique;
    if (is_horizontal(r)) result = SegmentClass::Horizontal;
    if (is_vertical(r)) result = SegmentClass::Vertical;
  }
  if (options.short_lines && is_short_segment(r, rate, options.short_limit_mm)) {
    result = SegmentClass::Short;
  }
  return result;
}

namespace {

SegmentClass with_short_rule(SegmentClass result, double length, float rate, const SegmentOptions& options) {
  const bool is_short = options.short_limit_mm > 0 &&
                        std::fabs(length * static_cast<double>(rate)) < static_cast<double>(options.short_limit_mm);
  return options.short_lines && is_short ? SegmentClass::Short : result;
}

}  // namespace

SegmentClass classify_line(const cad::Line& line, float rate, const SegmentOptions& options) {
  SegmentClass result = SegmentClass::Plain;
  if (options.split) {
    result = SegmentClass::Oblique;
    if (line.a.y == line.b.y) result = SegmentClass::Horizontal;
    if (line.a.x == line.b.x) result = SegmentClass::Vertical;
  }
  return with_short_rule(result, std::hypot(line.b.x - line.a.x, line.b.y - line.a.y), rate, options);
}

SegmentClass classify_curve(double length, float rate, const SegmentOptions& options) {
  return with_short_rule(options.split ? SegmentClass::Oblique : SegmentClass::Plain, length, rate, options);
}

// --- File names ------------------------------------------------------------

std::string replace_extension(std::string_view path, std::string_view extension) {
#ifdef _WIN32
  constexpr std::string_view kSeparators = "/\\";
#else
  constexpr std::string_view kSeparators = "/";
#endif
  const std::size_t sep = path.find_last_of(kSeparators);
  const std::size_t name_start = sep == std::string_view::npos ? 0 : sep + 1;
  const std::size_t dot = path.rfind('.');
  std::string result;
  if (dot != std::string_view::npos && dot >= name_start) {
    result.assign(path.substr(0, dot));
  } else {
    result.assign(path);
  }
  result.append(extension);
  return result;
}

}  // namespace vp
