// The scale calculator's arithmetic: the magnification (millimetres of the real
// object per pixel) of a drawing at scale 1/N scanned at a given resolution.
// Shared by the desktop program's calculator and the converter's --rate from-dpi.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cad/cad_drawing.h"

namespace vp {

// N ÷ resolution × 25.4, computed in the extended type and held as a
// single-precision real; nothing when the resolution is 0.
std::optional<float> magnification(float scale, float resolution);

// The magnification as the calculator shows it: "%.8f" with "." as the decimal
// point, whatever the locale.
std::string magnification_text(float magnification);

// From the two boxes' texts, each a number as the magnification box takes it (an
// optional sign, digits, an optional point and exponent) with any ASCII white
// space around it. Nothing when either is not a number or the
// resolution is 0: the calculator then keeps the result it shows.
std::optional<std::string> scale_result_text(std::string_view scale, std::string_view resolution);

// --- Two points of a drawing a known distance apart ------------------------------

// `value` in fixed notation with `decimals` decimals and "." as the point.
std::string fixed_text(double value, int decimals);

// The true distance as typed: a number as the magnification box takes it, with
// any ASCII white space around it, greater than 0.
std::optional<float> parse_distance(std::string_view text);

// The distance between two points of the grid in grid units: segment ends, or
// points of a fitted drawing (--cad), which may lie between cells.
long double grid_distance(cad::Point a, cad::Point b);

// Millimetres per grid unit that make the two points `distance_mm` apart:
// distance ÷ the points' distance, computed in the extended type and held as a
// single-precision real, as the scale calculator holds its result. Nothing when
// the points coincide or the result is not a positive finite float.
std::optional<float> two_point_magnification(cad::Point a, cad::Point b, float distance_mm);

}  // namespace vp
