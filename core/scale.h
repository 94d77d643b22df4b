// The scale calculator's arithmetic: the magnification (millimetres of the real
// object per pixel) of a drawing at scale 1/N scanned at a given resolution.
// Shared by the desktop program's calculator and the converter's --rate from-dpi.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

}  // namespace vp
