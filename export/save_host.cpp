#include "export/save_host.h"

#include <cmath>

namespace vp {

int saving_bar_position(std::int64_t i, std::int64_t count) {
  if (count <= 0) return 0;
  // Divided first, then scaled, in the extended type; truncated, not rounded.
  const long double fraction = static_cast<long double>(i) / static_cast<long double>(count);
  return static_cast<int>(std::trunc(fraction * 100.0L));
}

}  // namespace vp
