// Blurring a plane of ink cover or brightness as a scanner's optics do.
#pragma once

#include <cstdint>
#include <vector>

namespace vp {

// Separable Gaussian blur of a `width` x `height` float plane, edges clamped;
// nothing for a sigma of 0 or less.
void blur_plane(std::vector<float>& plane, std::int32_t width, std::int32_t height, double sigma);

}  // namespace vp
