// Grey rows for the scan clean-up from every reader and kind of file, against
// the plain rule: samples scaled to 0..255 (turned round when 0 is white),
// palette entries and colours through luma().
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "image_files.h"
#include "imageio/image_formats.h"
#include "support/degraded_scan.h"

namespace vp::testing_imageio {
namespace {

std::uint8_t literal_grey(const RawImage& raw, std::int32_t x, std::int32_t y) {
  const std::uint32_t v = raw.at(x, y);
  if (raw.kind == PixelKind::Rgb) return luma(v >> 16 & 0xFF, v >> 8 & 0xFF, v & 0xFF);
  if (raw.kind == PixelKind::Palette) return luma(raw.palette[v].red, raw.palette[v].green, raw.palette[v].blue);
  const double top = (1 << raw.bits) - 1;
  const auto level = static_cast<int>(std::lround(v * 255 / top));
  return static_cast<std::uint8_t>(raw.min_is_white ? 255 - level : level);
}

struct GreyCase {
  const char* name;
  bool colour;
  std::function<bool(const std::string&, const testing::ScanImage&)> write;
  std::function<RawImage(const testing::ScanImage&)> stored;  // what the file holds
};

TEST(GreyRows, EveryReaderGivesTheLevelsOfWhatItsFileHolds) {
  const InkImage drawing = testing::scan_drawing(133, 71, 5, false);
  testing::ScanLook grey_look;
  grey_look.noise = 30;  // every level in use
  testing::ScanLook colour_look = grey_look;
  colour_look.paper[2] = 180;
  colour_look.ink[2] = 170;
  const testing::ScanImage scans[2] = {testing::degrade(drawing, grey_look), testing::degrade(drawing, colour_look)};
  auto raw = [](PixelKind kind, int bits = 8, bool white = false) {
    return [=](const testing::ScanImage& s) { return raw_from_scan(s, kind, bits, white); };
  };
  auto tiff = [](PixelKind kind, TiffOptions o, int bits = 8, bool white = false) {
    return [=](const std::string& p, const testing::ScanImage& s) {
      return write_tiff(p, raw_from_scan(s, kind, bits, white), o);
    };
  };
  auto png = [](PixelKind kind, PngOptions o, int bits = 8) {
    return [=](const std::string& p, const testing::ScanImage& s) {
      return write_png(p, raw_from_scan(s, kind, bits), o);
    };
  };
  auto bmp = [](int bits, bool rle) {
    return [=](const std::string& p, const testing::ScanImage& s) { return write_scan_bmp(p, s, bits, rle); };
  };
  // A BMP holds the grey scan's levels as indices into 256 greys, or the colour scan's colours.
  const auto bmp_stored = raw(PixelKind::Palette);
  const std::vector<GreyCase> cases = {
      {"bmp 8-bit", false, bmp(8, false), bmp_stored},
      {"bmp 8-bit RLE8", false, bmp(8, true), bmp_stored},
      {"bmp 24-bit", true, bmp(24, false), bmp_stored},
      {"tiff grey 8", false, tiff(PixelKind::Grey, {.compression = TiffCompression::Lzw}), raw(PixelKind::Grey)},
      {"tiff grey 4 min-is-white", false, tiff(PixelKind::Grey, {}, 4, true), raw(PixelKind::Grey, 4, true)},
      {"tiff grey 2 tiled", false, tiff(PixelKind::Grey, {.tile_width = 16, .tile_length = 16}, 2),
       raw(PixelKind::Grey, 2)},
      {"tiff palette", false, tiff(PixelKind::Palette, {}), raw(PixelKind::Palette)},
      {"tiff rgb", true, tiff(PixelKind::Rgb, {.rows_per_strip = 5}), raw(PixelKind::Rgb)},
      {"tiff rgb planar", true, tiff(PixelKind::Rgb, {.rows_per_strip = 4, .planar = true}), raw(PixelKind::Rgb)},
      {"tiff rgb planar tiled", true, tiff(PixelKind::Rgb, {.tile_width = 32, .tile_length = 16, .planar = true}),
       raw(PixelKind::Rgb)},
      {"png grey 8", false, png(PixelKind::Grey, {}), raw(PixelKind::Grey)},
      {"png grey 4 interlaced", false, png(PixelKind::Grey, {.interlaced = true}, 4), raw(PixelKind::Grey, 4)},
      {"png palette", false, png(PixelKind::Palette, {}), raw(PixelKind::Palette)},
      {"png rgb interlaced", true, png(PixelKind::Rgb, {.interlaced = true}), raw(PixelKind::Rgb)},
  };
  ScratchFolder folder;
  for (const GreyCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::ScanImage& scan = scans[c.colour ? 1 : 0];
    const std::string path = folder.path("scan");
    ASSERT_TRUE(c.write(path, scan));
    const RawImage stored = c.stored(scan);
    OpenedImage image = open_any_image(path);
    ASSERT_EQ(image.status, ImageStatus::Ok);
    ASSERT_TRUE(image.reader->has_grey_levels());
    for (int reading = 0; reading < 2; ++reading) {  // a second reading gives the same rows
      std::vector<int> seen(static_cast<std::size_t>(scan.height), 0);
      std::int32_t previous = -1, step = 0, mismatches = 0;
      ASSERT_EQ(image.reader->read_grey_rows([&](std::int32_t r, std::span<const std::uint8_t> grey) {
        EXPECT_EQ(grey.size(), static_cast<std::size_t>(scan.width));
        if (previous >= 0) {
          if (step == 0) step = r - previous;
          EXPECT_EQ(r - previous, step);  // in sequence, one way
        }
        previous = r;
        ++seen[static_cast<std::size_t>(r)];
        for (std::int32_t x = 0; x < scan.width; ++x)
          mismatches += grey[static_cast<std::size_t>(x)] != literal_grey(stored, x, r);
        return true;
      }),
                ImageStatus::Ok);
      EXPECT_EQ(mismatches, 0);
      EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), scan.height);
    }
  }
}

TEST(GreyRows, OneBitImagesHaveNoGreyLevels) {
  const InkImage drawing = testing::scan_drawing(40, 30, 2, false);
  ScratchFolder folder;
  const RawImage bilevel = raw_from_ink(drawing, {PixelKind::Grey, 1, false, {}, false});
  ASSERT_TRUE(write_tiff(folder.path("a.tif"), bilevel, {}));
  ASSERT_TRUE(write_png(folder.path("a.png"), bilevel, {}));
  ASSERT_TRUE(write_pbm(folder.path("a.pbm"), drawing, false));
  for (const char* name : {"a.tif", "a.png", "a.pbm"}) {
    OpenedImage image = open_any_image(folder.path(name));
    ASSERT_EQ(image.status, ImageStatus::Ok) << name;
    EXPECT_FALSE(image.reader->has_grey_levels()) << name;
  }
}

}  // namespace
}  // namespace vp::testing_imageio
