#include "testkit/blur.h"

#include <algorithm>
#include <cmath>

namespace vp {

void blur_plane(std::vector<float>& plane, std::int32_t width, std::int32_t height, double sigma) {
  if (sigma <= 0) return;
  const int radius = static_cast<int>(std::ceil(sigma * 3));
  std::vector<float> kernel(static_cast<std::size_t>(2 * radius + 1));
  float sum = 0;
  for (int i = -radius; i <= radius; ++i)
    sum += kernel[static_cast<std::size_t>(i + radius)] = static_cast<float>(std::exp(-0.5 * i * i / (sigma * sigma)));
  for (float& k : kernel) k /= sum;
  const auto at = [width](std::int32_t x, std::int32_t y) {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  };
  std::vector<float> across(plane.size());
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      float v = 0;
      for (int i = -radius; i <= radius; ++i)
        v += kernel[static_cast<std::size_t>(i + radius)] * plane[at(std::clamp(x + i, 0, width - 1), y)];
      across[at(x, y)] = v;
    }
  for (std::int32_t y = 0; y < height; ++y)
    for (std::int32_t x = 0; x < width; ++x) {
      float v = 0;
      for (int i = -radius; i <= radius; ++i)
        v += kernel[static_cast<std::size_t>(i + radius)] * across[at(x, std::clamp(y + i, 0, height - 1))];
      plane[at(x, y)] = v;
    }
}

}  // namespace vp
