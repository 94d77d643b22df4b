#include "export/save_host.h"

#include <algorithm>
#include <cmath>

#include "export/export_rules.h"

namespace vp {

std::optional<float> read_magnification(std::string_view text, SaveHost& host,
                                        std::span<const LineRecord> records, StoredCoordinate stored) {
  std::optional<float> rate = parse_rate(text);
  if (rate && stored != nullptr && !records.empty()) {
    // The stored value grows with the coordinate, so the two extremes decide.
    std::int32_t low = records.front().x1, high = low;
    for (const LineRecord& r : records) {
      low = std::min({low, r.x1, r.y1, r.x2, r.y2});
      high = std::max({high, r.x1, r.y1, r.x2, r.y2});
    }
    if (!std::isfinite(stored(low, *rate)) || !std::isfinite(stored(high, *rate))) rate.reset();
  }
  if (!rate) host.show_message(kInvalidRateMessage);
  return rate;
}

int saving_bar_position(std::int64_t i, std::int64_t count) {
  if (count <= 0) return 0;
  // Divided first, then scaled, in the extended type; truncated, not rounded.
  const long double fraction = static_cast<long double>(i) / static_cast<long double>(count);
  return static_cast<int>(std::trunc(fraction * 100.0L));
}

}  // namespace vp
