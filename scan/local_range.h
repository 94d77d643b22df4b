// The brightest and darkest grey levels around each pixel, over a square window
// of a band of rows: what tells a stroke (dark against paper close by) from a
// stain, a shadow or the back page showing through (dark, or faint, with no
// paper close by or no depth to speak of).
//
// Levels are sums of two neighbouring pixels of a row (so that a single noisy
// pixel counts half), the extremes taken along the row as rows arrive, and down
// the window's rows only where asked: only a few pixels of a sheet need asking.
// The brightest level of a smaller window too tells a narrow stroke, with paper
// close on either side, from a wide band such as a stain's rim.
#pragma once

#include <cstdint>
#include <vector>

namespace vp::scan {

class LocalRange {
 public:
  // A window of 2 `radius` + 1 pixels a side over rows `width` pixels wide, and
  // an inner one of 2 `inner_radius` + 1 (no wider than the window).
  LocalRange(std::int32_t width, std::int32_t radius, std::int32_t inner_radius);

  // The next row, in order (rows from the bottom up work alike).
  void add_row(const std::uint8_t* grey);
  std::int32_t rows_added() const { return added_; }
  std::int32_t radius() const { return radius_; }

  struct Extremes {
    std::uint16_t brightest = 0, darkest = 0;  // two-pixel sums
    std::uint16_t inner_brightest = 0;
  };
  // Over the window around column x of row `row`, clipped to the rows added:
  // rows up to `row` + radius must have been added where the image has them, and
  // none later than that.
  Extremes around(std::int32_t row, std::int32_t x) const;

 private:
  // One row's extremes along the row over windows of `run` pixels, from prefix
  // and suffix extremes of runs of that width (two passes, whatever the width);
  // `least` may be null.
  void along(std::int32_t run, std::uint16_t* most, std::uint16_t* least);

  std::int32_t width_, radius_, inner_radius_, rows_;
  std::int32_t added_ = 0;
  std::vector<std::uint16_t> sums_, forward_max_, backward_max_, forward_min_, backward_min_;
  std::vector<std::uint16_t> most_, least_, inner_most_;  // rows_ rows of extremes along each row
};

}  // namespace vp::scan
