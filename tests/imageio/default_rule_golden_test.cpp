// The ink rule of the value nearest to black on grey and colour scans of every
// format gives exactly the files it gave before the scan clean-up existed: the
// hashes below were recorded with that converter. It is the default for BMP and
// for images of few levels; a PNG or TIFF scan of many levels is read with auto
// by default, and asks for nearest-black by name.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/converter.h"
#include "image_files.h"
#include "support/degraded_scan.h"

namespace vp::testing_imageio {
namespace {

std::uint64_t fnv1a(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

struct GoldenCase {
  const char* name;
  std::function<bool(const std::string& path, const testing::ScanImage& scan, const InkImage& clean)> write;
  std::uint64_t txt_hash;
  std::uint64_t dxf_hash;
  bool auto_by_default = false;
};

TEST(DefaultRuleGolden, EveryFormatGivesTheBytesItGaveBefore) {
  // Dark ink with strong noise: some of its pixels are exactly black, so the
  // default rule finds a little ink and the outputs are not empty.
  const InkImage clean = testing::scan_drawing(360, 260, 11, false);
  testing::ScanLook look;
  look.ink[0] = look.ink[1] = look.ink[2] = 14;
  look.noise = 10;
  const testing::ScanImage scan = testing::degrade(clean, look);
  const auto tiff = [](TiffOptions o, PixelKind kind, int bits = 8, bool white = false) {
    return [=](const std::string& p, const testing::ScanImage& s, const InkImage&) {
      return write_tiff(p, raw_from_scan(s, kind, bits, white), o);
    };
  };
  const auto png = [](PngOptions o, PixelKind kind, int bits = 8) {
    return [=](const std::string& p, const testing::ScanImage& s, const InkImage&) {
      return write_png(p, raw_from_scan(s, kind, bits), o);
    };
  };
  const std::vector<GoldenCase> cases = {
      {"bmp8",
       [](const std::string& p, const testing::ScanImage& s, const InkImage&) { return write_scan_bmp(p, s, 8); },
       0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull},
      {"bmp8-rle",
       [](const std::string& p, const testing::ScanImage& s, const InkImage&) { return write_scan_bmp(p, s, 8, true); },
       0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull},
      {"bmp24",
       [](const std::string& p, const testing::ScanImage& s, const InkImage&) { return write_scan_bmp(p, s, 24); },
       0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull},
      {"tiff-grey8-lzw", tiff({.compression = TiffCompression::Lzw}, PixelKind::Grey), 0xe5d666db810cf7c2ull,
       0x5f8fcdd3fd8875f1ull, true},
      {"tiff-grey8-white", tiff({}, PixelKind::Grey, 8, true), 0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull, true},
      {"tiff-grey4-tiled", tiff({.tile_width = 64, .tile_length = 32}, PixelKind::Grey, 4), 0xe15d7262b386598eull,
       0xbdb2b3ecf171af29ull},
      {"tiff-palette8", tiff({.rows_per_strip = 7}, PixelKind::Palette), 0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull,
       true},
      {"tiff-rgb", tiff({}, PixelKind::Rgb), 0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull, true},
      {"tiff-rgb-planar", tiff({.planar = true}, PixelKind::Rgb), 0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull, true},
      {"png-grey8", png({}, PixelKind::Grey), 0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull, true},
      {"png-grey2", png({}, PixelKind::Grey, 2), 0x90fd2230b78e5203ull, 0x13717a6f74b40fa4ull},
      {"png-palette8-interlaced", png({.interlaced = true}, PixelKind::Palette), 0xe5d666db810cf7c2ull,
       0x5f8fcdd3fd8875f1ull, true},
      {"png-rgb", png({}, PixelKind::Rgb), 0xe5d666db810cf7c2ull, 0x5f8fcdd3fd8875f1ull, true},
      {"pbm", [](const std::string& p, const testing::ScanImage&, const InkImage& c) { return write_pbm(p, c, false); },
       0x78d4e74279116cf3ull, 0x7b8250e48f36d7c6ull},
  };
  ScratchFolder folder;
  const std::string header = folder.path("DXFHED.TXT");
  write_bytes(header, {'0', '\r', '\n', 'S', 'E', 'C', 'T', 'I', 'O', 'N', '\r', '\n'});
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScanImage input = scan;
    if (std::string(c.name).find("rgb") != std::string::npos)
      input.colour = true, input.pixels = [&] {
        std::vector<std::uint8_t> rgb;
        for (std::uint8_t v : scan.pixels) rgb.insert(rgb.end(), {v, v, v});
        return rgb;
      }();
    const std::string path = folder.path(std::string(c.name) + ".img");
    ASSERT_TRUE(c.write(path, input, clean));
    const auto convert = [&](const char* extension, std::vector<std::string> rule) {
      const std::string out = folder.path(std::string(c.name) + extension);
      std::vector<std::string> args = {path, "-o", out, "--dxf-header", header};
      args.insert(args.end(), rule.begin(), rule.end());
      std::ostringstream sink_out, sink_err;
      EXPECT_EQ(cli::run_converter(args, sink_out, sink_err, false), 0) << sink_err.str();
      return read_bytes(out);
    };
    const std::vector<std::string> nearest_black =
        c.auto_by_default ? std::vector<std::string>{"--threshold", "nearest-black"} : std::vector<std::string>{};
    EXPECT_EQ(fnv1a(convert(".txt", nearest_black)), c.txt_hash);
    EXPECT_EQ(fnv1a(convert(".dxf", nearest_black)), c.dxf_hash);
    if (c.auto_by_default) {
      EXPECT_EQ(convert(".txt", {}), convert(".txt", {"--threshold", "auto"}));
    }
  }
}

}  // namespace
}  // namespace vp::testing_imageio
