// The rules every writer shares: reading the magnification, the decimals of a
// precision choice, classifying a segment for the layer options, and replacing a
// file name's extension.
//
// Everything here is locale-independent: numbers are read and written with "."
// as the decimal point whatever the user's locale says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cad/cad_drawing.h"
#include "export/number_text.h"
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
  bool split = false;        // horizontal / vertical / oblique layers
  bool short_lines = false;  // a layer of its own for short lines
  std::int32_t short_limit_mm = 100;

  friend bool operator==(const SegmentOptions&, const SegmentOptions&) = default;
};

// Start with Plain; with split on take Oblique, then Horizontal when y1 = y2,
// then Vertical when x1 = x2 (so a point is Vertical); with the short-line
// option on, a short record is Short whatever the split said.
SegmentClass classify_segment(const LineRecord& r, float rate, const SegmentOptions& options);

// The fitted drawing's entities (--cad) by the same rules. A line is horizontal
// or vertical only when exactly so (the fitting makes near-axis lines exact);
// arcs and circles count as oblique. Lengths are taken in double: a line's
// |b - a|, an arc's radius × sweep, a circle's 2πr, times |rate|.
SegmentClass classify_line(const cad::Line& line, float rate, const SegmentOptions& options);
SegmentClass classify_curve(double length, float rate, const SegmentOptions& options);

// --- File names ------------------------------------------------------------

// In the last component of `path` (after the last "/", and on Windows also
// "\\"), the text from its last "." onwards is replaced by `extension`; a last
// component without "." gets it appended.
std::string replace_extension(std::string_view path, std::string_view extension);

}  // namespace vp
