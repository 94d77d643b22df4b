// Reading a grey image once for the scan clean-up: the rule chosen (by format,
// from the levels of the first rows as they arrive), the grey rows decoded on a
// thread of their own and the rule applied to them as they come.
#pragma once

#include <cstdint>
#include <functional>

#include "imageio/image_reader.h"
#include "scan/decoding_thread.h"
#include "scan/threshold.h"

namespace vp::scan {

struct GreyReading {
  // The rule that applies. NearestBlack: unless `ink_read`, the image is to be
  // read with the reader's own rule (read_rows), which the caller does.
  ThresholdMode mode;
  ThresholdOutcome outcome;
  // NearestBlack taken from the grey rows (the reader's ink_grey_level), in the
  // same reading that counted the image's levels, up to kFewGreyLevels + 1.
  bool ink_read = false;
  std::int32_t levels = 0;
};

struct GreyReadingHooks {
  // After each row is taken, on the calling thread: rows read so far and in all; false stops.
  std::function<bool(std::int64_t done, std::int64_t total)> row_read;
  // Asked on the calling thread while it waits for rows; false stops.
  std::function<bool()> keep_going;
  DecodingStop* stop = nullptr;  // set for the reader's stop check when the reading is stopped
};

// The rule for `chosen` on the open `reader` (see mode_for_image), applied to
// its grey rows, every ink row to `ink`. Allocations may throw std::bad_alloc.
GreyReading read_with_rule(ImageReader& reader, const ThresholdMode& chosen, const InkRowSink& ink,
                           const GreyReadingHooks& hooks = {});

}  // namespace vp::scan
