// The rules every writer shares: reading the magnification, turning a grid
// coordinate into output text, classifying a segment for the layer options, and
// the file-name extensions of the save types.
//
// Everything here is locale-independent: numbers are read and written with "."
// as the decimal point whatever the user's locale says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vector/line_data.h"

namespace vp {

// --- Magnification ---------------------------------------------------------

// The magnification text as a 32-bit float (Rate), or nothing when the text is
// not a complete decimal number: any number of leading spaces, an optional sign,
// digits with an optional "." (at least one digit on either side of it), an
// optional exponent ("E" or "e", optional sign, at least one digit), and nothing
// after. The value is rounded correctly to the nearest float. A value beyond the
// float range (above 3.4028235e38 once rounded) is invalid; a value too small
// for the smallest float rounds to zero and is valid.
std::optional<float> parse_rate(std::string_view text);

// --- Coordinates -----------------------------------------------------------

// The number of decimals for a precision choice: 0..5 -> 0, 1, 2, 3, 4, 8; any
// other choice -> 0.
int DecimalDigits(std::int32_t index);

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

// --- Segment classification -----------------------------------------------

constexpr bool is_horizontal(const LineRecord& r) { return r.y1 == r.y2; }
constexpr bool is_vertical(const LineRecord& r) { return r.x1 == r.x2; }

// The length of a segment in output units, as a 32-bit float. Horizontal and
// vertical: the integer difference (taken in 64 bits, so it cannot overflow)
// times rate, rounded to float; a point is measured as horizontal (0). Oblique:
// the distance between the scaled end points, computed in extended precision.
// May be negative for horizontal and vertical records; the short test uses its
// magnitude.
float SegmentLength(const LineRecord& r, float rate);

// The short-line test: |SegmentLength| < limit_mm, strictly; with a limit of 0
// or less nothing is short.
bool is_short_segment(const LineRecord& r, float rate, std::int32_t limit_mm);

// The layer a writer puts a record on. Plain is the format's ordinary layer.
enum class SegmentClass { Plain, Horizontal, Vertical, Oblique, Short };

struct SegmentOptions {
  bool split = false;              // horizontal / vertical / oblique layers
  bool short_lines = false;        // a layer of its own for short lines
  std::int32_t short_limit_mm = 100;
};

// Start with Plain; with split on take Oblique, then Horizontal when y1 = y2,
// then Vertical when x1 = x2 (so a point is Vertical); with the short-line
// option on, a short record is Short whatever the split said.
SegmentClass classify_segment(const LineRecord& r, float rate, const SegmentOptions& options);

// --- File names ------------------------------------------------------------

// Save types, as the save dialog's filter index counts them.
inline constexpr int kSaveTypeText = 1;
inline constexpr int kSaveTypeDxf = 2;
inline constexpr int kSaveTypeJwc = 3;
inline constexpr int kSaveTypeSvg = 4;  // after the three, so that their indices stay

// In the last component of `path` (after the last "/", and on Windows also
// "\\"), the text from its last "." onwards is replaced by `extension`; a last
// component without "." gets it appended.
std::string replace_extension(std::string_view path, std::string_view extension);

// The extension of the default file name and of the existence test:
// ".TXT" / ".TEXT" / ".CSV" by zahyou_ext for type 1, ".DXF", ".JWC", ".SVG".
std::optional<std::string_view> default_extension(int save_type, std::int32_t zahyou_ext);
// The extension put into the dialog's name box when the user switches type:
// ".txt" (whatever zahyou_ext says), ".dxf", ".jwc", ".svg".
std::optional<std::string_view> dialog_extension(int save_type);
// The extension of the file a writer creates: ".txt" / ".text" / ".csv" by
// zahyou_ext for type 1, ".dxf", ".jwc", ".svg".
std::optional<std::string_view> output_extension(int save_type, std::int32_t zahyou_ext);

}  // namespace vp
