#include "core/scale.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "export/export_rules.h"

namespace vp {

std::optional<float> magnification(float scale, float resolution) {
  if (resolution == 0.0f) return std::nullopt;
  return static_cast<float>(static_cast<long double>(scale) / static_cast<long double>(resolution) * 25.4L);
}

namespace {

// A number as the magnification box takes it, with any ASCII white space around it.
std::optional<float> spaced_number(std::string_view text) {
  constexpr std::string_view kSpace = " \t\n\r\f\v";
  const std::size_t first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return std::nullopt;
  return parse_rate(text.substr(first, text.find_last_not_of(kSpace) - first + 1));
}

}  // namespace

std::string magnification_text(float magnification) { return fixed_text(magnification, 8); }

std::optional<std::string> scale_result_text(std::string_view scale, std::string_view resolution) {
  const std::optional<float> n = spaced_number(scale);
  const std::optional<float> dpi = spaced_number(resolution);
  if (!n || !dpi) return std::nullopt;
  const std::optional<float> m = magnification(*n, *dpi);
  if (!m) return std::nullopt;
  return magnification_text(*m);
}

std::string fixed_text(double value, int decimals) {
  // to_chars is printf's "%.*f" in the C locale, never the user's.
  char text[400];  // the largest double has 309 integer digits
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, std::clamp(decimals, 0, 15));
  if (result.ec != std::errc()) return "?";
  return std::string(text, result.ptr);
}

std::optional<float> parse_distance(std::string_view text) {
  const std::optional<float> value = spaced_number(text);
  if (!value || !(*value > 0.0f)) return std::nullopt;
  return value;
}

long double grid_distance(cad::Point a, cad::Point b) {
  const long double dx = static_cast<long double>(b.x) - a.x;
  const long double dy = static_cast<long double>(b.y) - a.y;
  return std::sqrt(dx * dx + dy * dy);
}

std::optional<float> two_point_magnification(cad::Point a, cad::Point b, float distance_mm) {
  const long double apart = grid_distance(a, b);
  if (apart == 0) return std::nullopt;
  const auto m = static_cast<float>(static_cast<long double>(distance_mm) / apart);
  if (!(m > 0.0f) || !std::isfinite(m)) return std::nullopt;
  return m;
}

}  // namespace vp
