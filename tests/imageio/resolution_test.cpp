// The resolution each format stores, in dpi: BMP and PNG per metre, TIFF per
// inch or per centimetre; rounded storage taken back to the whole dpi it came from.
#include <gtest/gtest.h>

#include <functional>

#include "image_files.h"
#include "imageio/image_formats.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {
namespace {

TEST(Resolution, EveryFormatInDotsPerInch) {
  ScratchFolder folder;
  const InkImage image = generate_drawing(40, 30, 1);
  const RawImage raw = raw_from_ink(image, {PixelKind::Grey, 1, false, {}, false});
  auto bmp_ppm = [&](std::int32_t x, std::int32_t y) {
    return [&image, x, y](const std::string& path) {
      std::vector<std::uint8_t> bytes = encode_bmp(image, {});
      for (int i = 0; i < 4; ++i) {  // biXPelsPerMeter, biYPelsPerMeter
        bytes[38 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(x) >> (8 * i));
        bytes[42 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(y) >> (8 * i));
      }
      write_bytes(path, bytes);
      return true;
    };
  };
  auto png_phys = [&](std::uint32_t x, std::uint32_t y, int unit) {
    return [&raw, x, y, unit](const std::string& path) {
      return write_png(path, raw, {.phys = true, .x_pixels_per_unit = x, .y_pixels_per_unit = y, .phys_unit = unit});
    };
  };
  auto tiff_res = [&](float x, float y, int unit) {
    return [&raw, x, y, unit](const std::string& path) {
      return write_tiff(path, raw, {.x_resolution = x, .y_resolution = y, .resolution_unit = unit});
    };
  };
  struct Case {
    std::string name;
    std::function<bool(const std::string&)> write;
    double x_dpi, y_dpi;
  };
  const std::vector<Case> cases = {
      {"bmp 15748 per metre", bmp_ppm(15748, 15748), 400, 400},
      {"bmp 2835 per metre", bmp_ppm(2835, 2835), 72, 72},
      {"bmp 11811 by 23622", bmp_ppm(11811, 23622), 300, 600},
      {"bmp 1000 per metre: not near a whole dpi", bmp_ppm(1000, 1000), 25.4, 25.4},
      {"bmp none", bmp_ppm(0, 0), 0, 0},
      {"bmp negative", bmp_ppm(-15748, -15748), 0, 0},
      {"png 15748 per metre", png_phys(15748, 15748, 1), 400, 400},
      {"png 3937 by 7874", png_phys(3937, 7874, 1), 100, 200},
      {"png 15747: half a pixel per metre too far", png_phys(15747, 15747, 1), 15747 * 0.0254, 15747 * 0.0254},
      {"png aspect ratio only", png_phys(15748, 15748, 0), 0, 0},
      {"png without pHYs", [&](const std::string& p) { return write_png(p, raw, {}); }, 0, 0},
      {"tiff 300 per inch", tiff_res(300, 300, 2), 300, 300},
      {"tiff 299.5 per inch: kept as it is", tiff_res(299.5f, 299.5f, 2), 299.5, 299.5},
      {"tiff 300 by 600 per inch", tiff_res(300, 600, 2), 300, 600},
      {"tiff 157.48 per centimetre", tiff_res(157.48f, 157.48f, 3), 400, 400},
      {"tiff 118.11 per centimetre", tiff_res(118.11f, 118.11f, 3), 300, 300},
      {"tiff no unit", tiff_res(300, 300, 1), 0, 0},
      {"tiff without resolution", [&](const std::string& p) { return write_tiff(p, raw, {}); }, 0, 0},
      {"pbm", [&](const std::string& p) { return write_pbm(p, image, false); }, 0, 0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string path = folder.path("res" + std::to_string(i));
    ASSERT_TRUE(cases[i].write(path));
    const OpenedImage opened = open_any_image(path);
    ASSERT_EQ(opened.status, ImageStatus::Ok);
    EXPECT_NEAR(opened.reader->info().x_dpi, cases[i].x_dpi, 1e-9);
    EXPECT_NEAR(opened.reader->info().y_dpi, cases[i].y_dpi, 1e-9);
  }
}

}  // namespace
}  // namespace vp::testing_imageio
