// Writes seeds for the image reader fuzzer: one small drawing as TIFF (several
// compressions and layouts), PNG (grey, palette, RGB, interlaced), JPEG (grey and
// colour, baseline and progressive, restart markers, JFIF and EXIF resolution,
// and the refused CMYK) and PBM.
//   make_image_seeds DIR
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "imageio/image_files.h"
#include "testkit/synthetic_drawing.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_image_seeds DIR\n");
    return 64;
  }
  using namespace vp::testing_imageio;
  const std::string dir = argv[1];
  const vp::InkImage image = vp::generate_drawing(29, 17, 3);
  int n = 0;
  auto name = [&](const char* ext) { return dir + "/seed" + std::to_string(n++) + ext; };
  const RawImage bilevel = raw_from_ink(image, RawSpec{vp::PixelKind::Grey, 1, false, {}, false});
  const RawImage white_is_zero = raw_from_ink(image, RawSpec{vp::PixelKind::Grey, 1, true, {}, false});
  const RawImage grey = raw_from_ink(image, RawSpec{vp::PixelKind::Grey, 8, false, {}, true});
  const RawImage palette = raw_from_ink(
      image, RawSpec{vp::PixelKind::Palette, 4, false, {{255, 255, 255}, {20, 20, 20}, {200, 0, 0}}, false});
  const RawImage rgb = raw_from_ink(image, RawSpec{vp::PixelKind::Rgb, 8, false, {}, true});
  for (TiffCompression c : {TiffCompression::None, TiffCompression::Lzw, TiffCompression::PackBits, TiffCompression::G3,
                            TiffCompression::G4}) {
    TiffOptions options;
    options.compression = c;
    write_tiff(name(".tif"), c == TiffCompression::None ? grey : white_is_zero, options);
    write_tiff(name(".tif"), bilevel, options);
  }
  TiffOptions tiled;
  tiled.tile_width = tiled.tile_length = 16;
  write_tiff(name(".tif"), rgb, tiled);
  TiffOptions planar;
  planar.planar = true;
  write_tiff(name(".tif"), rgb, planar);
  write_tiff(name(".tif"), palette, TiffOptions{});
  for (const RawImage* raw : {&bilevel, &grey, &palette, &rgb}) {
    write_png(name(".png"), *raw, PngOptions{});
    PngOptions interlaced;
    interlaced.interlaced = true;
    write_png(name(".png"), *raw, interlaced);
  }
  const RawImage grey_paper = raw_from_ink(image, RawSpec{vp::PixelKind::Grey, 8, false, {}, false});
  const RawImage rgb_paper = raw_from_ink(image, RawSpec{vp::PixelKind::Rgb, 8, false, {}, false});
  const std::vector<std::pair<const RawImage*, JpegOptions>> jpegs = {
      {&grey_paper, {.quality = 75, .density_unit = 1, .x_density = 300, .y_density = 300}},
      {&grey_paper, {.progressive = true, .restart_rows = 1}},
      {&rgb_paper, {.jfif = false, .app1 = exif_segment(400, 1, 400, 1, 2, false)}},
      {&rgb_paper, {.progressive = true, .density_unit = 2, .x_density = 118, .y_density = 118}},
      {&rgb_paper, {.quality = 50, .space = JpegSpace::Rgb}},
      {&rgb, {.space = JpegSpace::Cmyk}},
  };
  for (const auto& [raw, options] : jpegs) write_bytes(name(".jpg"), encode_jpeg(*raw, options));
  write_pbm(name(".pbm"), image, true);
  write_pbm(name(".pbm"), image, false);
  std::printf("%d seeds\n", n);
  return 0;
}
