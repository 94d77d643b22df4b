// JPEG files written with libjpeg: what the reader says of them, the grey levels
// it decodes (flat areas must come back where they were drawn, whatever the
// loss), their resolution, and the files it must refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>

#include <jpeglib.h>

#include "image_files.h"
#include "imageio/image_formats.h"
#include "imageio/library/jpeg_reader.h"
#include "raster/memory_budget.h"

namespace vp::testing_imageio {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xDC2828, kBlue = 0x2828DC;

// Rectangles on white, not aligned to JPEG's blocks: black ones in a grey image;
// black, red and blue ones in a colour image.
RawImage rectangles(bool colour) {
  RawImage raw;
  raw.width = 101;
  raw.height = 67;
  raw.kind = colour ? PixelKind::Rgb : PixelKind::Grey;
  raw.bits = 8;
  raw.pixels.assign(static_cast<std::size_t>(raw.width * raw.height), colour ? kWhite : 255);
  struct Box {
    int x, y, w, h;
    std::uint32_t colour;
  };
  for (const Box& b :
       {Box{5, 3, 20, 14, kBlack}, Box{37, 9, 13, 40, kRed}, Box{61, 30, 33, 21, kBlue}, Box{11, 44, 17, 17, kBlack}}) {
    const std::uint32_t value = colour ? b.colour : 0;
    for (int y = b.y; y < b.y + b.h; ++y)
      for (int x = b.x; x < b.x + b.w; ++x) raw.pixels[static_cast<std::size_t>(y * raw.width + x)] = value;
  }
  return raw;
}

// The grey level a pixel was drawn with (usual luma weights, worked out by hand),
// or -1 near an edge, where JPEG's loss may blur it.
int drawn_grey(const RawImage& raw, std::int32_t x, std::int32_t y) {
  constexpr int kMargin = 3;
  const std::uint32_t v = raw.at(x, y);
  for (int dy = -kMargin; dy <= kMargin; ++dy)
    for (int dx = -kMargin; dx <= kMargin; ++dx) {
      const std::int32_t nx = std::clamp(x + dx, 0, raw.width - 1), ny = std::clamp(y + dy, 0, raw.height - 1);
      if (raw.at(nx, ny) != v) return -1;
    }
  if (raw.kind == PixelKind::Grey) return static_cast<int>(v);
  switch (v) {
    case kBlack:
      return 0;
    case kRed:
      return 94;
    case kBlue:
      return 61;
    default:
      return 255;
  }
}

// Every grey row, in order, each of the image's width; empty after a fault.
std::vector<std::uint8_t> grey_rows(ImageReader& reader) {
  std::vector<std::uint8_t> grey;
  const auto width = static_cast<std::size_t>(reader.info().width);
  std::int32_t next = 0;
  bool faults = false;
  const ImageStatus read = reader.read_grey_rows([&](std::int32_t r, std::span<const std::uint8_t> row) {
    faults |= r != next++ || row.size() != width;
    grey.insert(grey.end(), row.begin(), row.end());
    return true;
  });
  if (read != ImageStatus::Ok || faults || next != reader.info().height) grey.clear();
  return grey;
}

TEST(Jpeg, InfoGreyLevelsAndResolution) {
  ScratchFolder folder;
  struct Case {
    std::string name;
    bool colour;
    JpegOptions options;
    std::string encoding;
    double x_dpi, y_dpi;
  };
  const std::vector<Case> cases = {
      {"grey, aspect ratio only", false, {}, "baseline", 0, 0},
      {"grey progressive, JFIF 300 dpi",
       false,
       {.progressive = true, .density_unit = 1, .x_density = 300, .y_density = 300},
       "progressive",
       300,
       300},
      {"grey, restart marker every row, JFIF 118 dots/cm",
       false,
       {.restart_rows = 1, .density_unit = 2, .x_density = 118, .y_density = 118},
       "baseline",
       299.72,
       299.72},
      {"colour, JFIF 300 x 600 dpi",
       true,
       {.density_unit = 1, .x_density = 300, .y_density = 600},
       "baseline",
       300,
       600},
      {"colour, no JFIF, EXIF 400 dpi little-endian",
       true,
       {.jfif = false, .app1 = exif_segment(400, 1, 400, 1, 2, false)},
       "baseline",
       400,
       400},
      {"colour progressive, aspect-only JFIF, EXIF per centimetre big-endian",
       true,
       {.progressive = true, .app1 = exif_segment(11811, 100, 11811, 100, 3, true)},
       "progressive",
       300,
       300},
      {"colour, JFIF density before EXIF",
       true,
       {.density_unit = 1, .x_density = 200, .y_density = 200, .app1 = exif_segment(600, 1, 600, 1, 2, false)},
       "baseline",
       200,
       200},
      {"colour, EXIF without its unit: inches",
       true,
       {.app1 = exif_segment(144, 2, 72, 1, 0, true)},
       "baseline",
       72,
       72},
      {"grey, EXIF without a unit of length",
       false,
       {.app1 = exif_segment(300, 1, 300, 1, 1, false)},
       "baseline",
       0,
       0},
      {"colour coded as RGB (Adobe marker)", true, {.quality = 95, .space = JpegSpace::Rgb}, "baseline", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RawImage raw = rectangles(c.colour);
    const std::string path = folder.path("scan.jpg");
    const std::vector<std::uint8_t> bytes = encode_jpeg(raw, c.options);
    ASSERT_FALSE(bytes.empty());
    write_bytes(path, bytes);

    OpenedImage opened = open_any_image(path);
    ASSERT_EQ(opened.status, ImageStatus::Ok);
    const ImageInfo& info = opened.reader->info();
    EXPECT_EQ(info.format, "JPEG");
    EXPECT_EQ(info.encoding, c.encoding);
    EXPECT_EQ(std::make_pair(info.width, info.height), std::make_pair(raw.width, raw.height));
    EXPECT_EQ(info.kind, c.colour ? PixelKind::Rgb : PixelKind::Grey);
    EXPECT_EQ(info.bits_per_pixel, c.colour ? 24 : 8);
    EXPECT_EQ(info.ink_index, c.colour ? -1 : 0);
    EXPECT_NEAR(info.x_dpi, c.x_dpi, 1e-9);
    EXPECT_NEAR(info.y_dpi, c.y_dpi, 1e-9);
    EXPECT_TRUE(opened.reader->has_grey_levels());
    const std::vector<std::uint8_t> grey = grey_rows(*opened.reader);
    ASSERT_EQ(grey.size(), raw.pixels.size());
    int checked = 0, wrong = 0;
    for (std::int32_t y = 0; y < raw.height; ++y)
      for (std::int32_t x = 0; x < raw.width; ++x) {
        const int drawn = drawn_grey(raw, x, y);
        if (drawn < 0) continue;
        ++checked;
        const int got = grey[static_cast<std::size_t>(y * raw.width + x)];
        if (std::abs(got - drawn) > 12 && wrong++ < 5)
          ADD_FAILURE() << "(" << x << ", " << y << "): " << got << " for " << drawn;
      }
    EXPECT_GT(checked, raw.width * raw.height / 2);

    // The ink rows: every row once; in grey images the ink is exactly the pixels
    // that decode to 0.
    const ReadBack ink = read_image(path);
    ASSERT_EQ(ink.read, ImageStatus::Ok);
    EXPECT_TRUE(ink.faults.empty());
    EXPECT_EQ(ink.rows_delivered, raw.height);
    if (!c.colour) {
      InkImage zero(raw.width, raw.height);
      for (std::int32_t y = 0; y < raw.height; ++y)
        for (std::int32_t x = 0; x < raw.width; ++x)
          zero.set(x, y, grey[static_cast<std::size_t>(y * raw.width + x)] == 0);
      EXPECT_TRUE(ink.image == zero);
    }
  }
}

// libjpeg's own decoding of a whole file into the given colour space.
std::vector<std::uint8_t> libjpeg_decoded(std::vector<std::uint8_t> bytes, J_COLOR_SPACE space) {
  jpeg_decompress_struct jpeg{};
  jpeg_error_mgr errors{};
  jpeg.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&jpeg);
  jpeg_mem_src(&jpeg, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&jpeg, TRUE);
  jpeg.out_color_space = space;
  jpeg_start_decompress(&jpeg);
  const std::size_t row_bytes = std::size_t{jpeg.output_width} * static_cast<std::size_t>(jpeg.output_components);
  std::vector<std::uint8_t> out(row_bytes * jpeg.output_height);
  while (jpeg.output_scanline < jpeg.output_height) {
    JSAMPROW row = out.data() + row_bytes * jpeg.output_scanline;
    jpeg_read_scanlines(&jpeg, &row, 1);
  }
  jpeg_finish_decompress(&jpeg);
  jpeg_destroy_decompress(&jpeg);
  return out;
}

// Saturated colours make libjpeg clamp RGB, so its own grey output (the coded Y)
// is not luma() of the RGB it decodes: the reader's grey must be the latter.
TEST(Jpeg, ColourGreyIsLumaOfTheDecodedRgb) {
  ScratchFolder folder;
  RawImage raw;
  raw.width = 64;
  raw.height = 48;
  raw.kind = PixelKind::Rgb;
  std::mt19937 rng(7);
  for (int i = 0; i < raw.width * raw.height; ++i) raw.pixels.push_back(rng() & 0xFFFFFF);
  const std::vector<std::uint8_t> bytes = encode_jpeg(raw, {.quality = 80});
  write_bytes(folder.path("colours.jpg"), bytes);
  const std::vector<std::uint8_t> rgb = libjpeg_decoded(bytes, JCS_RGB);
  const std::vector<std::uint8_t> y = libjpeg_decoded(bytes, JCS_GRAYSCALE);
  JpegReader reader;
  ASSERT_EQ(reader.open(folder.path("colours.jpg")), ImageStatus::Ok);
  const std::vector<std::uint8_t> grey = grey_rows(reader);
  ASSERT_EQ(grey.size(), y.size());
  int differs_from_y = 0;
  for (std::size_t i = 0; i < grey.size(); ++i) {
    ASSERT_EQ(grey[i], luma(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2])) << "pixel " << i;
    differs_from_y += grey[i] != y[i];
  }
  EXPECT_GT(differs_from_y, 0);
}

std::size_t find_marker(const std::vector<std::uint8_t>& bytes, std::uint8_t marker, std::size_t from = 2) {
  for (std::size_t i = from; i + 1 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && bytes[i + 1] == marker) return i;
  return bytes.size();
}

// The first byte of the entropy-coded data after the first scan header.
std::size_t scan_data(const std::vector<std::uint8_t>& bytes) {
  const std::size_t sos = find_marker(bytes, 0xDA);
  return sos + 2 + (std::size_t{bytes[sos + 2]} << 8 | bytes[sos + 3]);
}

// A progressive file that claims 12000 x 12000 pixels, with `scans` scan headers
// of one byte of data each: refused by counting its scans, before any decoding.
std::vector<std::uint8_t> vast_scans(int scans) {
  std::vector<std::uint8_t> b = encode_jpeg(rectangles(false), {.progressive = true});
  const std::size_t frame = find_marker(b, 0xC2);
  for (std::size_t at : {frame + 5, frame + 7}) b[at] = 12000 >> 8, b[at + 1] = 12000 & 0xFF;
  const std::size_t sos = find_marker(b, 0xDA), data = scan_data(b);
  const std::vector<std::uint8_t> header(b.begin() + static_cast<std::ptrdiff_t>(sos),
                                         b.begin() + static_cast<std::ptrdiff_t>(data));
  b.resize(data);
  for (int i = 1; i < scans; ++i) {
    b.push_back(0);
    b.insert(b.end(), header.begin(), header.end());
  }
  b.insert(b.end(), {0, 0xFF, 0xD9});
  return b;
}

TEST(Jpeg, DamagedDataAndOtherProcesses) {
  ScratchFolder folder;
  const RawImage grey = rectangles(false);
  const RawImage colour = rectangles(true);
  const std::vector<std::uint8_t> baseline = encode_jpeg(colour, {});
  const std::vector<std::uint8_t> progressive = encode_jpeg(grey, {.progressive = true});
  const std::vector<std::uint8_t> restarts = encode_jpeg(grey, {.restart_rows = 1});
  const std::vector<std::uint8_t> arithmetic = encode_jpeg(colour, {.arithmetic = true});
  ASSERT_FALSE(baseline.empty() || progressive.empty() || restarts.empty() || arithmetic.empty());
  auto cut = [](std::vector<std::uint8_t> b, std::size_t size) { return b.resize(size), b; };
  auto no_data = [](std::vector<std::uint8_t> b) {  // the scan header, then the end of the image
    b.resize(scan_data(b));
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
  };
  auto stuffed_ones = [](std::vector<std::uint8_t> b) {  // FF 00 is a data byte of all ones: no Huffman code
    const std::size_t middle = (scan_data(b) + b.size()) / 2;
    for (std::size_t i = middle; i < middle + 16; i += 2) b[i] = 0xFF, b[i + 1] = 0x00;
    return b;
  };
  auto wrong_restart = [](std::vector<std::uint8_t> b) {
    const std::size_t rst = find_marker(b, 0xD3, scan_data(b));
    b[rst + 1] = 0xD6;
    return b;
  };
  auto lossless = [](std::vector<std::uint8_t> b) { return b[find_marker(b, 0xC0) + 1] = 0xC3, b; };

  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    ImageStatus open;
    ImageStatus read;  // both read_rows and read_grey_rows, after an Ok opening
  };
  const std::vector<Case> cases = {
      {"lossless process", lossless(baseline), ImageStatus::Unsupported, {}},
      {"cut inside the header", cut(baseline, scan_data(baseline) - 20), ImageStatus::Unreadable, {}},
      {"progressive cut before its last byte", cut(progressive, progressive.size() - 3), ImageStatus::Ok,
       ImageStatus::Unreadable},
      {"garbage in the pixel data", stuffed_ones(baseline), ImageStatus::Ok, ImageStatus::Unreadable},
      {"restart marker out of sequence", wrong_restart(restarts), ImageStatus::Ok, ImageStatus::Unreadable},
      {"whole, for contrast", restarts, ImageStatus::Ok, ImageStatus::Ok},
      {"huffman-coded scan with no data", no_data(baseline), ImageStatus::Ok, ImageStatus::Unreadable},
      {"arithmetic-coded scan with no data", no_data(arithmetic), ImageStatus::Ok, ImageStatus::Unreadable},
      {"arithmetic-coded, whole", arithmetic, ImageStatus::Ok, ImageStatus::Ok},
      // Scans: a few dozen read, hundreds are not supported (each decodes the whole image again).
      {"64 scans", encode_jpeg(grey, {.scans = 64}), ImageStatus::Ok, ImageStatus::Ok},
      {"501 scans", encode_jpeg(grey, {.scans = 501}), ImageStatus::Ok, ImageStatus::Unsupported},
      {"300 scans of 12000 x 12000", vast_scans(300), ImageStatus::Unsupported, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.path("damaged.jpg");
    write_bytes(path, c.bytes);
    JpegReader reader;
    ASSERT_EQ(reader.open(path), c.open);
    if (c.open != ImageStatus::Ok) {
      EXPECT_TRUE(reader.info().format.empty());
      EXPECT_EQ(reader.read_rows([](std::int32_t, std::span<const std::uint64_t>) { return true; }),
                ImageStatus::Unreadable);
      continue;
    }
    EXPECT_EQ(reader.read_rows([](std::int32_t, std::span<const std::uint64_t>) { return true; }), c.read);
    EXPECT_EQ(reader.read_grey_rows([](std::int32_t, std::span<const std::uint8_t>) { return true; }), c.read);
  }
}

// A progressive file decodes all its scans before its first row: the reader's stop
// check is asked as they are read, and a stop ends the reading there.
TEST(Jpeg, AStopCheckIsHeardWhileTheScansAreRead) {
  ScratchFolder folder;
  const std::string path = folder.path("scans.jpg");
  write_bytes(path, encode_jpeg(rectangles(false), {.scans = 200}));
  for (const int stop_at : {0, 1, 5, 150}) {  // 0: never
    JpegReader reader;
    ASSERT_EQ(reader.open(path), ImageStatus::Ok);
    int asked = 0, rows = 0;
    reader.set_stop_check([&] { return ++asked == stop_at; });
    const ImageStatus read =
        reader.read_rows([&](std::int32_t, std::span<const std::uint64_t>) { return ++rows, true; });
    EXPECT_EQ(read, stop_at == 0 ? ImageStatus::Ok : ImageStatus::Unreadable) << stop_at;
    EXPECT_EQ(rows, stop_at == 0 ? 67 : 0) << stop_at;
    if (stop_at != 0)
      EXPECT_EQ(asked, stop_at);
    else
      EXPECT_GT(asked, 200);  // at least once a scan
  }
}

// A progressive file is held whole as coefficients (13 x 9 blocks of 128 bytes
// here, beside libjpeg's own few kilobytes), a baseline one a few rows at a time.
TEST(Jpeg, ProgressiveCoefficientsMustFitTheMemoryAvailable) {
  ScratchFolder folder;
  const RawImage grey = rectangles(false);
  const std::string progressive = folder.path("p.jpg"), baseline = folder.path("b.jpg");
  write_bytes(progressive, encode_jpeg(grey, {.progressive = true}));
  write_bytes(baseline, encode_jpeg(grey, {}));
  auto read = [](const std::string& path) {
    JpegReader reader;
    EXPECT_EQ(reader.open(path), ImageStatus::Ok);
    return reader.read_grey_rows([](std::int32_t, std::span<const std::uint8_t>) { return true; });
  };
  set_available_memory_for_testing(13 * 9 * 128 - 1);
  EXPECT_THROW(read(progressive), std::bad_alloc);
  EXPECT_EQ(read(baseline), ImageStatus::Ok);
  set_available_memory_for_testing(13 * 9 * 128 + (64 << 10));
  EXPECT_EQ(read(progressive), ImageStatus::Ok);
  set_available_memory_for_testing(std::nullopt);
}

TEST(Jpeg, ExifResolutionTakesOnlyWhatMakesSense) {
  const std::vector<std::uint8_t> good = exif_segment(300, 1, 600, 2, 2, false);
  auto with = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint8_t> b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    return b;
  };
  // Offsets in the segment: 6 the TIFF header, 14 IFD0's entry count, 16 its
  // first entry (XResolution), 24 that entry's offset of its rational, 56 the rationals.
  struct Case {
    std::string name;
    std::vector<std::uint8_t> segment;
    double x_dpi, y_dpi;
  };
  const std::vector<Case> cases = {
      {"whole", good, 300, 300},
      {"centimetres", exif_segment(11811, 100, 11811, 100, 3, true), 300, 300},
      {"not EXIF", with(0, {'E', 'x', 'i', 'g'}), 0, 0},
      {"unknown byte order", with(6, {'I', 'M'}), 0, 0},
      {"IFD0 beyond the end", with(10, {0xF0, 0xFF, 0xFF, 0x0F}), 0, 0},
      {"more entries than the segment holds", with(14, {0xFF, 0xFF}), 300, 300},
      {"rational beyond the end", with(24, {0xFF, 0xFF, 0xFF, 0xFF}), 0, 300},
      {"zero denominator", with(60, {0, 0, 0, 0}), 0, 300},
      {"XResolution not a rational", with(18, {4}), 0, 300},
      {"cut in the middle of IFD0", std::vector<std::uint8_t>(good.begin(), good.begin() + 30), 0, 0},
  };
  for (const Case& c : cases) {
    const imageio::ExifTags r = imageio::exif_tags(c.segment);
    EXPECT_EQ(r.x_dpi, c.x_dpi) << c.name;
    EXPECT_EQ(r.y_dpi, c.y_dpi) << c.name;
  }
}

}  // namespace
}  // namespace vp::testing_imageio
