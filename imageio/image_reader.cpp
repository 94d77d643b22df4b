#include "imageio/image_reader.h"

#include <cmath>
#include <filesystem>
#include <utility>

#include "imageio/bmp_reader.h"
#include "raster/upright_grid.h"
#include "raster/utf8_path.h"

namespace vp {

ImageReaderFactory bmp_only_reader_factory() {
  return [](const std::string&) -> std::unique_ptr<ImageReader> { return std::make_unique<BmpReader>(); };
}

ImageInfo upright(const ImageInfo& info) {
  ImageInfo viewed = info;
  if (turns_sideways(info.orientation)) {
    std::swap(viewed.width, viewed.height);
    std::swap(viewed.x_dpi, viewed.y_dpi);
  }
  return viewed;
}

bool is_regular_image_file(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::status(path_from_utf8(path), ec));
}

double dpi_from_pixels_per_metre(double pixels_per_metre) {
  constexpr double kMetresPerInch = 0.0254;
  if (!std::isfinite(pixels_per_metre) || pixels_per_metre <= 0) return 0;
  const double dpi = pixels_per_metre * kMetresPerInch;
  if (!std::isfinite(dpi)) return 0;
  const double whole = std::round(dpi);
  // Half a pixel per metre, in dpi; the 1e-9 absorbs the rounding of the product above.
  if (whole > 0 && std::fabs(dpi - whole) <= 0.5 * kMetresPerInch + 1e-9) return whole;
  return dpi;
}

}  // namespace vp
