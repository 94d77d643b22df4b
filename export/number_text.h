// Numbers as the output files write them: one coordinate scaled by the
// magnification, and exact arithmetic on such texts (a page's size as the
// difference of its edges). Text, DXF and SVG files, and the preview, all take
// their digits from here, so that the same coordinate always reads the same.
//
// Everything here is locale-independent: "." is the decimal point whatever the
// user's locale says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vp {

// Writes c × rate in fixed notation. The product is exact (as the 64-bit-mantissa
// extended type holds it); it is first taken to 18 significant decimal digits
// (nearest, ties to even), and that decimal form is then rounded half away from
// zero at the last printed digit. The text is an optional "-" (never for a value
// that prints as zero), at least one integer digit and, when decimals > 0, "."
// and exactly that many digits.
//
// Made once per save, then used for every coordinate: the common cases take an
// exact 128-bit integer path with no allocation; very large or very small
// products take an exact big-integer path.
class CoordinateFormatter {
 public:
  // Longest text: 48 integer digits (2^31 × the largest float), sign, point and
  // up to 15 decimals.
  static constexpr std::size_t kMaxChars = 72;
  static constexpr int kMaxDecimals = 15;

  // `decimals` is clamped to 0..kMaxDecimals. A non-finite rate (never produced
  // by parse_rate) makes every text "nan", "inf" or "-inf".
  CoordinateFormatter(float rate, int decimals);

  // Writes the text of `c` to `out` (room for kMaxChars) and returns its length.
  std::size_t write(std::int32_t c, char* out) const;
  std::string text(std::int32_t c) const;

  int decimals() const { return decimals_; }

 private:
  std::size_t write_slow(bool negative, std::uint64_t n, char* out) const;
  std::size_t write_non_finite(std::int32_t c, char* out) const;

  float rate_;
  int decimals_;
  bool finite_;
  bool rate_negative_;
  std::uint64_t mantissa_;  // |rate| = mantissa_ × 2^exponent_, mantissa_ odd or 0
  int exponent_;
};

// One coordinate's text: CoordinateFormatter(rate, decimals).text(c).
std::string CoordinateText(std::int32_t c, float rate, int decimals);

// --- Real coordinates (the fitted drawing) ---------------------------------

// Writes a double in fixed notation with `decimals` decimals (clamped to
// 0..CoordinateFormatter::kMaxDecimals), rounded to nearest from its binary value
// (an exact tie to even). The text has the form CoordinateFormatter writes: an
// optional "-" (never for a value that prints as zero), at least one integer
// digit and, when decimals > 0, "." and exactly that many digits. A non-finite
// value is "nan", "inf" or "-inf".
class RealFormatter {
 public:
  // Longest text: the largest double's 309 integer digits, sign, point and 15 decimals.
  static constexpr std::size_t kMaxChars = 328;

  // `rate` scales what write_scaled writes: the grid coordinate times the
  // magnification, taken in double.
  RealFormatter(float rate, int decimals);

  // Writes v itself, or c × rate, to `out` (room for kMaxChars) and returns its length.
  std::size_t write(double v, char* out) const;
  std::size_t write_scaled(double c, char* out) const { return write(scaled(c), out); }
  std::string text(double v) const;
  std::string scaled_text(double c) const { return text(scaled(c)); }

  double scaled(double c) const { return c * rate_; }
  int decimals() const { return decimals_; }

 private:
  double rate_;
  int decimals_;
};

// One real number's text: RealFormatter(1, decimals).text(v).
std::string RealText(double v, int decimals);

// --- Arithmetic on written numbers -----------------------------------------

// a - b for two decimal texts with the same number of decimals (as CoordinateText
// writes them), exactly, in the same form; zero has no sign.
std::string decimal_difference(std::string_view a, std::string_view b);

// -v for a decimal text v: the sign changes, zero keeps none.
std::string negated_decimal(std::string_view text);

// Whether a decimal text is zero ("0", "-0.00" ...).
bool decimal_is_zero(std::string_view text);

// 1 with `decimals` decimals: "1", "1.0000".
std::string decimal_one(int decimals);

// The shortest fixed-notation text that reads back as |v|; "1" if it cannot be written.
std::string shortest_magnitude_text(float v);

}  // namespace vp
