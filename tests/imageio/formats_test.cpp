// One drawing in every format and variant the readers take: the same ink, the
// same grid and the same segments as the BMP of it; the ink rule of every kind
// against the literal rule on random images.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "core/conversion.h"
#include "core/messages.h"
#include "image_files.h"
#include "imageio/image_formats.h"
#include "support/recording_host.h"
#include "support/reference_conversion.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {
namespace {

using testing::RecordingHost;

struct Converted {
  Outcome outcome = Outcome::Done;
  reference::ByteGrid grid{0, 0};
  std::vector<LineRecord> records;
};

Converted convert(const std::string& path, const ImageReaderFactory& readers, int passes = 2) {
  Conversion conversion(readers);
  Outcome conversion_outcome = Outcome::Done;
  RecordingHost host;
  // The readers' own ink rule, which a grey scan of many levels gets only by name.
  ConversionSettings settings;
  settings.ScanThreshold = static_cast<std::int32_t>(scan::ThresholdRule::NearestBlack);
  conversion_outcome = conversion.ChangeImage(path, passes, host, settings).outcome;
  Converted out;
  out.outcome = conversion_outcome;
  if (conversion_outcome == Outcome::Done) {
    out.grid = reference::ByteGrid::from(conversion.grid());
    out.records.assign(conversion.records().begin(), conversion.records().end());
  }
  return out;
}

std::vector<Rgb> grey_ramp_palette(int entries, int darkest_at) {
  std::vector<Rgb> palette;
  for (int i = 0; i < entries; ++i) {
    const auto v = static_cast<std::uint8_t>(i == darkest_at ? 20 : 60 + (i * 37) % 190);
    palette.push_back({v, v, v});
  }
  return palette;
}

using Writer = std::function<bool(const std::string& path, const InkImage& image)>;

Writer bmp(BmpWriteOptions options) {
  return [options](const std::string& path, const InkImage& image) {
    write_bytes(path, encode_bmp(image, options));
    return true;
  };
}
Writer png(RawSpec spec, PngOptions options = {}) {
  return [spec, options](const std::string& path, const InkImage& image) {
    return write_png(path, raw_from_ink(image, spec), options);
  };
}
Writer tiff(RawSpec spec, TiffOptions options = {}) {
  return [spec, options](const std::string& path, const InkImage& image) {
    return write_tiff(path, raw_from_ink(image, spec), options);
  };
}
Writer pbm(bool plain) {
  return [plain](const std::string& path, const InkImage& image) { return write_pbm(path, image, plain); };
}

struct FormatCase {
  std::string name;
  std::string format;
  Writer write;
};

std::vector<FormatCase> every_format() {
  const RawSpec bilevel_white{PixelKind::Grey, 1, true, {}, false};
  const RawSpec bilevel_black{PixelKind::Grey, 1, false, {}, false};
  BmpWriteOptions bmp24;
  bmp24.bits_per_pixel = 24;
  bmp24.near_black_noise = 0.3;
  TiffOptions lzw{.compression = TiffCompression::Lzw, .rows_per_strip = 7};
  TiffOptions g4_one_strip{.compression = TiffCompression::G4, .rows_per_strip = 100000};
  TiffOptions tiled{.compression = TiffCompression::Lzw, .tile_width = 32, .tile_length = 16};
  TiffOptions g4_tiled{.compression = TiffCompression::G4, .tile_width = 64, .tile_length = 48};
  TiffOptions planar{.compression = TiffCompression::Lzw, .rows_per_strip = 5, .planar = true};
  TiffOptions planar_tiled{.tile_width = 16, .tile_length = 16, .planar = true};
  return {
      {"bmp 1-bit", "BMP", bmp({})},
      {"bmp 24-bit, near-black background", "BMP", bmp(bmp24)},
      {"png 1-bit grey", "PNG", png({PixelKind::Grey, 1, false, {}, false})},
      {"png 2-bit grey, dark background", "PNG", png({PixelKind::Grey, 2, false, {}, true})},
      {"png 4-bit palette, interlaced", "PNG",
       png({PixelKind::Palette, 4, false, grey_ramp_palette(16, 11), true}, {.interlaced = true})},
      {"png 8-bit grey, interlaced", "PNG", png({PixelKind::Grey, 8, false, {}, true}, {.interlaced = true})},
      {"png 1-bit grey, interlaced", "PNG", png({PixelKind::Grey, 1, false, {}, false}, {.interlaced = true})},
      {"png 8-bit palette", "PNG", png({PixelKind::Palette, 8, false, grey_ramp_palette(200, 150), true})},
      {"png rgb, dark background", "PNG", png({PixelKind::Rgb, 8, false, {}, true})},
      {"png rgb, interlaced", "PNG", png({PixelKind::Rgb, 8, false, {}, true}, {.interlaced = true})},
      {"tiff uncompressed, MinIsWhite", "TIFF", tiff(bilevel_white)},
      {"tiff uncompressed, MinIsBlack", "TIFF", tiff(bilevel_black)},
      {"tiff LZW, MinIsBlack", "TIFF", tiff(bilevel_black, lzw)},
      {"tiff PackBits", "TIFF", tiff(bilevel_white, {.compression = TiffCompression::PackBits})},
      {"tiff CCITT G3", "TIFF", tiff(bilevel_white, {.compression = TiffCompression::G3})},
      {"tiff CCITT G4", "TIFF", tiff(bilevel_white, {.compression = TiffCompression::G4})},
      {"tiff CCITT G4, one strip, MinIsBlack", "TIFF", tiff(bilevel_black, g4_one_strip)},
      {"tiff CCITT G4, tiled", "TIFF", tiff(bilevel_white, g4_tiled)},
      {"tiff 4-bit grey MinIsWhite, Deflate", "TIFF",
       tiff({PixelKind::Grey, 4, true, {}, true}, {.compression = TiffCompression::Deflate})},
      {"tiff 2-bit grey", "TIFF", tiff({PixelKind::Grey, 2, false, {}, true})},
      {"tiff 8-bit palette, tiled", "TIFF",
       tiff({PixelKind::Palette, 8, false, grey_ramp_palette(256, 77), true}, tiled)},
      {"tiff 1-bit palette", "TIFF", tiff({PixelKind::Palette, 1, false, {{250, 250, 250}, {5, 0, 0}}})},
      {"tiff rgb LZW", "TIFF", tiff({PixelKind::Rgb, 8, false, {}, true}, lzw)},
      {"tiff rgb planar", "TIFF", tiff({PixelKind::Rgb, 8, false, {}, true}, planar)},
      {"tiff rgb planar, tiled", "TIFF", tiff({PixelKind::Rgb, 8, false, {}, true}, planar_tiled)},
      {"tiff two pages: the first is read", "TIFF", tiff(bilevel_white, {.pages = 2})},
      {"pbm plain", "PBM", pbm(true)},
      {"pbm raw", "PBM", pbm(false)},
  };
}

TEST(ImageFormats, OneDrawingGivesTheSameInkGridAndSegmentsInEveryFormat) {
  ScratchFolder folder;
  DrawingOptions drawing;
  drawing.min_thickness = 1;
  drawing.max_thickness = 4;
  drawing.coverage = 0.08;
  const InkImage image = generate_drawing(203, 141, 7, drawing);
  ASSERT_GT(image.ink_count(), 1000u);

  const std::string baseline_path = folder.path("baseline.bmp");
  write_bytes(baseline_path, encode_bmp(image, {}));
  const Converted baseline = convert(baseline_path, bmp_only_reader_factory());
  ASSERT_EQ(baseline.outcome, Outcome::Done);
  ASSERT_GT(baseline.records.size(), 50u);

  const std::vector<FormatCase> cases = every_format();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const FormatCase& c = cases[i];
    SCOPED_TRACE(c.name);
    // A name that says nothing: the reader is chosen by what the file holds.
    const std::string path = folder.path("drawing" + std::to_string(i) + ".img");
    ASSERT_TRUE(c.write(path, image));

    ::testing::internal::CaptureStderr();
    const ReadBack back = read_image(path);
    const ReadBack stopped = read_image(path, 5);
    const Converted converted = convert(path, any_image_reader_factory());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    ASSERT_EQ(back.open, ImageStatus::Ok);
    EXPECT_EQ(back.read, ImageStatus::Ok);
    EXPECT_EQ(back.info.format, c.format);
    EXPECT_EQ(back.info.width, image.width);
    EXPECT_EQ(back.info.height, image.height);
    EXPECT_TRUE(back.faults.empty()) << back.faults.front();
    EXPECT_EQ(back.rows_delivered, image.height);
    EXPECT_TRUE(back.image == image);
    // The sink's "stop" is obeyed at once and is not a failure.
    EXPECT_EQ(stopped.read, ImageStatus::Ok);
    EXPECT_EQ(stopped.rows_delivered, 5);

    EXPECT_EQ(converted.outcome, Outcome::Done);
    EXPECT_TRUE(converted.grid == baseline.grid);
    EXPECT_EQ(converted.records, baseline.records);
  }
}

// Images of every kind with every value in random places: the reader's ink and
// ink value against the literal rule, over widths around the word and byte edges.
TEST(ImageFormats, InkRuleOfEveryKindMatchesTheLiteralRule) {
  struct Case {
    std::string name;
    bool png;  // else TIFF
    PixelKind kind;
    int bits;
    bool min_is_white;
    std::vector<Rgb> palette;
    int ink;  // the value the rule must pick (-1: pure black RGB)
    TiffOptions tiff = {};
    PngOptions png_options = {};
  };
  const std::vector<Rgb> nearest_third = {{255, 255, 255}, {10, 0, 0}, {0, 0, 9}, {200, 30, 30}};
  const std::vector<Rgb> tied = {{250, 250, 250}, {0, 6, 8}, {8, 0, 6}, {0, 0, 10}};
  const std::vector<Rgb> two_blacks = {{255, 255, 255}, {128, 128, 128}, {0, 0, 0}, {0, 0, 0}};
  const std::vector<Rgb> white_first_pair = {{255, 255, 255}, {0, 0, 0}};
  const std::vector<Rgb> black_first_pair = {{0, 0, 0}, {255, 255, 255}};
  const TiffOptions tiled{.compression = TiffCompression::Lzw, .tile_width = 48, .tile_length = 16};
  const std::vector<Case> cases = {
      {"png grey 1-bit", true, PixelKind::Grey, 1, false, {}, 0},
      {"png grey 2-bit", true, PixelKind::Grey, 2, false, {}, 0},
      {"png grey 4-bit", true, PixelKind::Grey, 4, false, {}, 0},
      {"png grey 8-bit", true, PixelKind::Grey, 8, false, {}, 0},
      {"png grey 8-bit interlaced", true, PixelKind::Grey, 8, false, {}, 0, {}, {.interlaced = true}},
      {"png palette: the nearest entry", true, PixelKind::Palette, 2, false, nearest_third, 2},
      {"png palette: ties to the lowest index", true, PixelKind::Palette, 4, false, tied, 1},
      {"png palette: two blacks", true, PixelKind::Palette, 8, false, two_blacks, 2},
      {"png palette 1-bit, white first", true, PixelKind::Palette, 1, false, white_first_pair, 1},
      {"png palette 1-bit, black first, interlaced",
       true,
       PixelKind::Palette,
       1,
       false,
       black_first_pair,
       0,
       {},
       {.interlaced = true}},
      {"png rgb: pure black only", true, PixelKind::Rgb, 8, false, {}, -1},
      {"tiff MinIsBlack 1-bit", false, PixelKind::Grey, 1, false, {}, 0},
      {"tiff MinIsWhite 1-bit", false, PixelKind::Grey, 1, true, {}, 1},
      {"tiff MinIsBlack 2-bit", false, PixelKind::Grey, 2, false, {}, 0},
      {"tiff MinIsWhite 2-bit", false, PixelKind::Grey, 2, true, {}, 3},
      {"tiff MinIsWhite 4-bit", false, PixelKind::Grey, 4, true, {}, 15},
      {"tiff MinIsBlack 8-bit", false, PixelKind::Grey, 8, false, {}, 0},
      {"tiff MinIsWhite 8-bit", false, PixelKind::Grey, 8, true, {}, 255},
      {"tiff MinIsWhite 4-bit tiled", false, PixelKind::Grey, 4, true, {}, 15, tiled},
      {"tiff palette: the nearest entry", false, PixelKind::Palette, 2, false, nearest_third, 2},
      {"tiff palette: ties to the lowest index", false, PixelKind::Palette, 2, false, tied, 1},
      {"tiff palette: two blacks, tiled", false, PixelKind::Palette, 8, false, two_blacks, 2, tiled},
      {"tiff palette 1-bit, black first", false, PixelKind::Palette, 1, false, black_first_pair, 0},
      {"tiff rgb: pure black only", false, PixelKind::Rgb, 8, false, {}, -1},
      {"tiff rgb planar", false, PixelKind::Rgb, 8, false, {}, -1, {.rows_per_strip = 3, .planar = true}},
      {"tiff rgb tiled", false, PixelKind::Rgb, 8, false, {}, -1, tiled},
  };
  // Colours around black, so that any slip in the "all three zero" test shows.
  const std::vector<std::uint32_t> colours = {0x000000, 0x000000, 0x010000, 0x000100, 0x000001,
                                              0x010101, 0x808080, 0xFFFFFF, 0x00FF00};
  ScratchFolder folder;
  std::mt19937 rng(42);
  int file_number = 0;
  for (const Case& c : cases) {
    for (const std::int32_t width : {1, 7, 9, 63, 64, 65, 130, 333}) {
      SCOPED_TRACE(c.name + ", width " + std::to_string(width));
      RawImage raw;
      raw.width = width;
      raw.height = 1 + static_cast<std::int32_t>(rng() % 19);
      raw.kind = c.kind;
      raw.bits = c.bits;
      raw.min_is_white = c.min_is_white;
      raw.palette = c.palette;
      const std::uint32_t values =
          c.kind == PixelKind::Palette ? static_cast<std::uint32_t>(c.palette.size()) : 1u << c.bits;
      for (std::int32_t p = 0; p < raw.width * raw.height; ++p) {
        raw.pixels.push_back(c.kind == PixelKind::Rgb ? colours[rng() % colours.size()] : rng() % values);
      }
      ASSERT_EQ(expected_ink_value(raw), c.ink);  // the literal rule agrees with the table
      const std::string path = folder.path("kind" + std::to_string(file_number++));
      ASSERT_TRUE(c.png ? write_png(path, raw, c.png_options) : write_tiff(path, raw, c.tiff));
      const ReadBack back = read_image(path);
      ASSERT_EQ(back.open, ImageStatus::Ok);
      EXPECT_EQ(back.read, ImageStatus::Ok);
      EXPECT_EQ(back.info.ink_index, c.ink);
      EXPECT_EQ(back.info.kind, c.kind);
      EXPECT_EQ(back.info.min_is_white, c.min_is_white);
      EXPECT_TRUE(back.faults.empty());
      EXPECT_TRUE(back.image == expected_ink(raw));
    }
  }
}

// The driver reads BMP only unless given the factory; every type goes through
// the same loading, progress and abort.
TEST(ImageFormats, DriverUsesTheFactoryItIsGiven) {
  ScratchFolder folder;
  const InkImage image = generate_drawing(90, 70, 3);
  const std::string png_path = folder.path("drawing.bmp");  // a PNG, whatever its name says
  ASSERT_TRUE(write_png(png_path, raw_from_ink(image, {PixelKind::Grey, 1, false, {}, false}), {}));

  const Converted bmp_only = convert(png_path, ImageReaderFactory{});
  EXPECT_EQ(bmp_only.outcome, Outcome::Unreadable);  // not unsupported
  EXPECT_EQ(convert(png_path, any_image_reader_factory()).outcome, Outcome::Done);
  // A factory that has no reader for the file: unreadable.
  EXPECT_EQ(convert(png_path, [](const std::string&) { return std::unique_ptr<ImageReader>(); }).outcome,
            Outcome::Unreadable);

  // The abort button during loading stops it after the current row.
  Conversion conversion(any_image_reader_factory());
  Outcome conversion_outcome = Outcome::Done;
  RecordingHost host;
  host.abort_when = [](const RecordingHost& h) { return h.events >= 10; };
  conversion_outcome = conversion.ChangeImage(png_path, 2, host).outcome;
  EXPECT_EQ(conversion_outcome, Outcome::Aborted);
  EXPECT_EQ(host.events, 10);
  EXPECT_EQ(host.last_bar(ProgressBar::Load), 100);
}

}  // namespace
}  // namespace vp::testing_imageio
