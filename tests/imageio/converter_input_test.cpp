// The converter with TIFF, PNG, JPEG and PBM inputs: --info, --rate from-dpi:SCALE,
// and conversions that match those of the same drawing as a BMP.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/converter.h"
#include "core/conversion.h"
#include "image_files.h"
#include "imageio/image_formats.h"
#include "support/recording_host.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {
namespace {

using cli::kExitUnreadable;
using cli::kExitUsage;
using cli::kExitWritten;

InkImage enlarged(const InkImage& image, std::int32_t factor) {
  InkImage out(image.width * factor, image.height * factor);
  for (std::int32_t r = 0; r < out.height; ++r)
    for (std::int32_t c = 0; c < out.width; ++c) out.set(c, r, image.get(c / factor, r / factor));
  return out;
}

class ConverterInput : public ::testing::Test {
 protected:
  void SetUp() override {
    // One stroke: grid (3, 4) to (10, 4).
    for (std::int32_t c = 2; c < 10; ++c) stroke_.set(c, 2);
    bilevel_ = raw_from_ink(stroke_, {PixelKind::Grey, 1, true, {}, false});
  }

  int run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return cli::run_converter(args, out_, err_, false);
  }
  static std::string text_of(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  ScratchFolder folder_;
  InkImage stroke_{12, 6};
  RawImage bilevel_;
  std::ostringstream out_, err_;
};

TEST_F(ConverterInput, InfoDescribesEachKindOfFile) {
  const std::string g4 = folder_.path("scan.tif");
  ASSERT_TRUE(write_tiff(g4, bilevel_, {.compression = TiffCompression::G4, .x_resolution = 400, .y_resolution = 400}));
  RawImage palette =
      raw_from_ink(stroke_, {PixelKind::Palette, 4, false, {{230, 230, 230}, {9, 9, 9}, {0, 0, 40}}, true});
  const std::string png = folder_.path("scan.png");
  ASSERT_TRUE(write_png(png, palette, {.interlaced = true}));
  BmpWriteOptions rgb;
  rgb.bits_per_pixel = 24;
  rgb.dpi = 300;
  const std::string bmp = folder_.path("scan.bmp");
  write_bytes(bmp, encode_bmp(stroke_, rgb));
  const std::string uneven = folder_.path("uneven.tif");
  ASSERT_TRUE(write_tiff(uneven, raw_from_ink(stroke_, {PixelKind::Grey, 8, false, {}, false}),
                         {.compression = TiffCompression::Lzw,
                          .tile_width = 16,
                          .tile_length = 16,
                          .x_resolution = 300,
                          .y_resolution = 600}));
  const std::string pbm = folder_.path("scan.pbm");
  ASSERT_TRUE(write_pbm(pbm, stroke_, true));
  const std::string jpg = folder_.path("scan.jpg");
  write_bytes(jpg, encode_jpeg(raw_from_ink(stroke_, {PixelKind::Grey, 8, false, {}, false}),
                               {.density_unit = 1, .x_density = 300, .y_density = 300}));
  const std::string jpg_colour = folder_.path("photo.jpg");
  write_bytes(jpg_colour, encode_jpeg(raw_from_ink(stroke_, {PixelKind::Rgb, 8, false, {}, false}),
                                      {.progressive = true, .app1 = exif_segment(400, 1, 400, 1, 2, true)}));

  const std::vector<std::pair<std::string, std::string>> cases = {
      {g4,
       "format: TIFF (CCITT G4)\nsize: 12 x 6 pixels\npixels: 1-bit grey, 0 is white\n"
       "ink: grey value 1, the one nearest to black\nresolution: 400 dpi\n"},
      {png,
       "format: PNG (interlaced)\nsize: 12 x 6 pixels\npixels: 4-bit palette of 3 entries\n"
       "ink: palette index 1, the entry nearest to black\nresolution: unknown\n"
       "grey levels: 3 in use, 5 (darkest) to 230 (lightest), median 230\n"
       "threshold: nearest-black by format; auto takes levels below 131 of 255 (the paper) for ink, 50.00 % of the "
       "pixels; otsu 10\n"},
      {bmp,
       "format: BMP (uncompressed)\nsize: 12 x 6 pixels\npixels: 24-bit RGB\n"
       "ink: pure black (0, 0, 0) only\nresolution: 300 dpi\n"
       "grey levels: 2 in use, 0 (darkest) to 255 (lightest), median 255\n"
       "threshold: nearest-black by format; auto takes levels below 128 of 255 (the paper) for ink, 11.11 % of the "
       "pixels; otsu 1\n"},
      {uneven,
       "format: TIFF (LZW, tiled)\nsize: 12 x 6 pixels\npixels: 8-bit grey, 0 is black\n"
       "ink: grey value 0, the one nearest to black\nresolution: 300 x 600 dpi\n"
       "grey levels: 2 in use, 0 (darkest) to 255 (lightest), median 255\n"
       "threshold: nearest-black by format; auto takes levels below 128 of 255 (the paper) for ink, 11.11 % of the "
       "pixels; otsu 1\n"},
      {pbm,
       "format: PBM (P1, plain)\nsize: 12 x 6 pixels\npixels: 1-bit grey, 0 is white\n"
       "ink: grey value 1, the one nearest to black\nresolution: unknown\n"},
      {jpg,
       "format: JPEG (baseline)\nsize: 12 x 6 pixels\npixels: 8-bit grey, 0 is black\n"
       "ink: grey value 0, the one nearest to black\nresolution: 300 dpi\n"
       "grey levels: 14 in use, 0 (darkest) to 255 (lightest), median 254\n"
       "threshold: auto by format; auto takes levels below 127 of 255 (the paper) for ink, 11.11 % of the "
       "pixels; otsu 9\n"},
      {jpg_colour,
       "format: JPEG (progressive)\nsize: 12 x 6 pixels\npixels: 24-bit RGB\n"
       "ink: pure black (0, 0, 0) only\nresolution: 400 dpi\n"
       "grey levels: 14 in use, 0 (darkest) to 255 (lightest), median 254\n"
       "threshold: auto by format; auto takes levels below 127 of 255 (the paper) for ink, 11.11 % of the "
       "pixels; otsu 9\n"},
  };
  for (const auto& [file, report] : cases) {
    EXPECT_EQ(run({"--info", file}), kExitWritten) << err_.str();
    EXPECT_EQ(out_.str(), "file: " + file + "\n" + report);
  }

  // Files it cannot describe: the conversion's messages and status.
  const std::string grey16 = folder_.path("deep.png");
  RawImage deep = raw_from_ink(stroke_, {PixelKind::Grey, 8, false, {}, false});
  deep.bits = 16;
  ASSERT_TRUE(write_png(grey16, deep, {}));
  EXPECT_EQ(run({"--info", grey16}), kExitUnreadable);
  EXPECT_EQ(err_.str(), "対応していないファイル形式です。\n画像ファイルを読込めませんでした。\n");
  EXPECT_EQ(run({"--info", folder_.path("missing.tif")}), kExitUnreadable);
  EXPECT_EQ(err_.str(), "画像ファイルを読込めませんでした。\n");
  EXPECT_EQ(run({"--info", g4, png}), kExitUsage);
  EXPECT_NE(err_.str().find("--info"), std::string::npos);
}

TEST_F(ConverterInput, RateFromTheFilesResolution) {
  const std::string tif = folder_.path("scan.tif");
  ASSERT_TRUE(
      write_tiff(tif, bilevel_, {.compression = TiffCompression::G4, .x_resolution = 400, .y_resolution = 400}));
  BmpWriteOptions bmp_400;
  bmp_400.dpi = 400;  // stored as 15748 pixels per metre
  const std::string bmp = folder_.path("scan.bmp");
  write_bytes(bmp, encode_bmp(stroke_, bmp_400));
  const std::string png = folder_.path("scan.png");
  ASSERT_TRUE(write_png(png, raw_from_ink(stroke_, {PixelKind::Grey, 1, false, {}, false}),
                        {.phys = true, .x_pixels_per_unit = 11811, .y_pixels_per_unit = 11811, .phys_unit = 1}));
  // JFIF per centimetre, in whole dots: 157 of them are 398.78 dpi, not 400.
  const std::string jpg = folder_.path("scan.jpg");
  write_bytes(jpg, encode_jpeg(raw_from_ink(stroke_, {PixelKind::Grey, 8, false, {}, false}),
                               {.quality = 100, .density_unit = 2, .x_density = 157, .y_density = 157}));

  struct Case {
    std::string input;
    std::string rate;
    std::string magnification;
    std::string note;
  };
  const std::vector<Case> cases = {
      {tif, "from-dpi:100", "6.34999990", "magnification 6.34999990 (1/100 at 400 dpi)\n"},
      {bmp, "from-dpi:100", "6.34999990", "magnification 6.34999990 (1/100 at 400 dpi)\n"},
      {png, "from-dpi:50", "4.23333311", "magnification 4.23333311 (1/50 at 300 dpi)\n"},
      {jpg, "from-dpi:100", "6.36942673", "magnification 6.36942673 (1/100 at 398.78 dpi)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " " + c.rate);
    const std::string derived = folder_.path("derived.txt");
    const std::string typed = folder_.path("typed.txt");
    ASSERT_EQ(run({c.input, "-o", derived, "--rate", c.rate, "--decimals", "5"}), kExitWritten) << err_.str();
    EXPECT_EQ(out_.str().substr(0, out_.str().find('\n') + 1), c.note);
    // The same as typing the calculator's result.
    ASSERT_EQ(run({c.input, "-o", typed, "--rate", c.magnification, "--decimals", "5"}), kExitWritten);
    EXPECT_EQ(text_of(derived), text_of(typed));
    EXPECT_FALSE(text_of(derived).empty());
  }

  // Nothing to derive it from: a usage error that names the option, nothing written.
  const std::string bare = folder_.path("bare.png");
  ASSERT_TRUE(write_png(bare, raw_from_ink(stroke_, {PixelKind::Grey, 1, false, {}, false}), {}));
  const std::string uneven = folder_.path("uneven.tif");
  ASSERT_TRUE(write_tiff(uneven, bilevel_, {.x_resolution = 300, .y_resolution = 600}));
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{bare, "-o", folder_.path("x.txt"), "--rate", "from-dpi:100"}, "does not give its resolution"},
      {{uneven, "-o", folder_.path("x.txt"), "--rate", "from-dpi:100"}, "300 x 600 dpi"},
      {{tif, "-o", folder_.path("x.txt"), "--rate", "from-dpi:1/100"}, "from-dpi:SCALE"},
      {{tif, "-o", folder_.path("x.txt"), "--rate", "from-dpi:"}, "from-dpi:SCALE"},
  };
  for (const auto& [args, named] : refused) {
    EXPECT_EQ(run(args), kExitUsage) << named;
    EXPECT_NE(err_.str().find("--rate"), std::string::npos) << err_.str();
    EXPECT_NE(err_.str().find(named), std::string::npos) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(folder_.path("x.txt")));
  }
}

TEST_F(ConverterInput, EveryInputTypeConvertsAsItsBmpDoes) {
  const InkImage drawing = generate_drawing(150, 110, 9);
  const std::string bmp = folder_.path("drawing.bmp");
  write_bytes(bmp, encode_bmp(drawing, {}));
  const std::string tif = folder_.path("drawing.tif");
  ASSERT_TRUE(write_tiff(tif, raw_from_ink(drawing, {PixelKind::Grey, 1, true, {}, false}),
                         {.compression = TiffCompression::G4}));
  const std::string png = folder_.path("drawing.png");
  ASSERT_TRUE(write_png(png, raw_from_ink(drawing, {PixelKind::Rgb, 8, false, {}, true}), {}));
  const std::string pbm = folder_.path("drawing.pbm");
  ASSERT_TRUE(write_pbm(pbm, drawing, false));
  // JPEG keeps flat 8 x 8 blocks exact at quality 100, so a drawing of such blocks
  // decodes to pure black and white, as its BMP has them.
  const InkImage blocks = enlarged(generate_drawing(40, 30, 5), 8);
  const std::string blocks_bmp = folder_.path("blocks.bmp");
  write_bytes(blocks_bmp, encode_bmp(blocks, {}));
  const std::string grey_jpg = folder_.path("blocks.jpg");
  write_bytes(grey_jpg, encode_jpeg(raw_from_ink(blocks, {PixelKind::Grey, 8, false, {}, false}), {.quality = 100}));
  const std::string colour_jpg = folder_.path("blocks.jpeg");
  write_bytes(colour_jpg, encode_jpeg(raw_from_ink(blocks, {PixelKind::Rgb, 8, false, {}, false}),
                                      {.quality = 100, .progressive = true}));

  ASSERT_EQ(run({bmp, "-o", folder_.path("bmp.dxf"), "--special"}), kExitWritten) << err_.str();
  const std::string expected = text_of(folder_.path("bmp.dxf"));
  ASSERT_EQ(run({blocks_bmp, "-o", folder_.path("blocks_bmp.dxf"), "--special"}), kExitWritten) << err_.str();
  const std::string expected_blocks = text_of(folder_.path("blocks_bmp.dxf"));
  EXPECT_GT(expected_blocks.size(), 2000u);
  for (const std::string& input : {grey_jpg, colour_jpg}) {
    const std::string output = folder_.path("jpeg.dxf");
    ASSERT_EQ(run({input, "-o", output, "--special"}), kExitWritten) << input << ": " << err_.str();
    EXPECT_EQ(text_of(output), expected_blocks) << input;
  }
  for (const std::string& input : {tif, png, pbm}) {
    const std::string output = folder_.path("other.dxf");
    ASSERT_EQ(run({input, "-o", output, "--special"}), kExitWritten) << input << ": " << err_.str();
    EXPECT_EQ(text_of(output), expected) << input;
  }
  // The thinned image the converter writes is a PBM, which reads back as the
  // thinned grid of the conversion.
  ASSERT_EQ(run({tif, "-o", folder_.path("t.txt"), "--thinned", folder_.path("thinned.pbm")}), kExitWritten);
  const ReadBack thinned = read_image(folder_.path("thinned.pbm"));
  ASSERT_EQ(thinned.read, ImageStatus::Ok);
  Conversion conversion(any_image_reader_factory());
  Outcome conversion_outcome = Outcome::Done;
  testing::RecordingHost host;
  conversion_outcome = conversion.ChangeImage(tif, 3, host).outcome;
  ASSERT_EQ(conversion_outcome, Outcome::Done);
  InkImage grid_ink(drawing.width, drawing.height);
  for (std::int32_t r = 0; r < drawing.height; ++r)
    for (std::int32_t c = 0; c < drawing.width; ++c)
      grid_ink.set(c, r, conversion.grid().at(c + 1, drawing.height - r) != 0);
  EXPECT_TRUE(thinned.image == grid_ink);
  EXPECT_FALSE(thinned.image == drawing);  // the passes did thin it
}

}  // namespace
}  // namespace vp::testing_imageio
