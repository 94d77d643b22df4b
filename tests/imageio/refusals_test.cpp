// Files the readers must refuse: kinds they do not take ("not supported", code 3
// with its message) and damaged files (unreadable, code 3), never a crash, never
// a word on standard error, never damaged rows passed off as an image.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>
#include <tuple>

#include <zlib.h>

#include "core/conversion.h"
#include "core/messages.h"
#include "image_files.h"
#include "imageio/image_formats.h"
#include "support/recording_host.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {
namespace {

using testing::RecordingHost;

RawImage small_raw(PixelKind kind, int bits) {
  RawImage raw;
  raw.width = 13;
  raw.height = 5;
  raw.kind = kind;
  raw.bits = bits;
  raw.pixels.assign(static_cast<std::size_t>(raw.width * raw.height), 0);
  return raw;
}

// Writes a JPEG of `raw`; false when libjpeg would not make it.
std::function<bool(const std::string&)> jpeg(const RawImage& raw, const JpegOptions& options) {
  return [raw, options](const std::string& path) {
    const std::vector<std::uint8_t> bytes = encode_jpeg(raw, options);
    write_bytes(path, bytes);
    return !bytes.empty();
  };
}

TEST(Refusals, KindsWeDoNotTakeAreNotSupported) {
  ScratchFolder folder;
  using Write = std::function<bool(const std::string&)>;
  const RawImage grey16 = small_raw(PixelKind::Grey, 16);
  const RawImage rgb16 = small_raw(PixelKind::Rgb, 16);
  const RawImage grey8 = small_raw(PixelKind::Grey, 8);
  const RawImage rgb8 = small_raw(PixelKind::Rgb, 8);
  auto text = [](std::string content) {
    return [content](const std::string& path) {
      write_bytes(path, {content.begin(), content.end()});
      return true;
    };
  };
  const std::vector<std::pair<std::string, Write>> cases = {
      {"tiff 16-bit grey", [&](const std::string& p) { return write_tiff(p, grey16, {}); }},
      {"tiff 16-bit rgb", [&](const std::string& p) { return write_tiff(p, rgb16, {}); }},
      {"tiff grey + alpha", [&](const std::string& p) { return write_tiff(p, grey8, {.extra_alpha = true}); }},
      {"tiff rgb + alpha", [&](const std::string& p) { return write_tiff(p, rgb8, {.extra_alpha = true}); }},
      {"tiff CMYK", [&](const std::string& p) { return write_tiff(p, rgb8, {.cmyk = true}); }},
      {"tiff YCbCr", [&](const std::string& p) { return write_tiff(p, rgb8, {.ycbcr = true}); }},
      {"tiff floating-point grey", [&](const std::string& p) { return write_tiff(p, grey8, {.float_samples = true}); }},
      {"png 16-bit grey", [&](const std::string& p) { return write_png(p, grey16, {}); }},
      {"png 16-bit rgb", [&](const std::string& p) { return write_png(p, rgb16, {}); }},
      {"png grey + alpha", [&](const std::string& p) { return write_png(p, grey8, {.alpha = true}); }},
      {"png rgb + alpha", [&](const std::string& p) { return write_png(p, rgb8, {.alpha = true}); }},
      {"plain pgm", text("P2\n2 1\n255\n0 255\n")},
      {"raw pgm", text("P5\n2 1\n255\n\x01\xff")},
      {"raw ppm", text("P6 1 1 255\n\x01\x02\x03")},
      {"jpeg CMYK", jpeg(rgb8, {.space = JpegSpace::Cmyk})},
      {"jpeg YCCK", jpeg(rgb8, {.space = JpegSpace::Ycck})},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    const std::string path = folder.path("refused" + std::to_string(i));
    ASSERT_TRUE(cases[i].second(path));
    ::testing::internal::CaptureStderr();
    const ReadBack back = read_image(path);
    Conversion conversion(any_image_reader_factory());
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    conversion_outcome = conversion.ChangeImage(path, 2, host).outcome;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(back.open, ImageStatus::Unsupported);
    EXPECT_EQ(back.info.format, "");  // nothing described after a failed open
    EXPECT_EQ(conversion_outcome, Outcome::Unsupported);
  }
}

// A header may promise any size: what a row would take is weighed before
// anything is allocated for it.
TEST(Refusals, HugeRowsAreRefusedAtOpen) {
  ScratchFolder folder;
  auto png_header = [](std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colour_type) {
    std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    auto chunk = [&file](const char* type, const std::vector<std::uint8_t>& data) {
      const auto n = static_cast<std::uint32_t>(data.size());
      for (int i = 3; i >= 0; --i) file.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
      std::vector<std::uint8_t> body(type, type + 4);
      body.insert(body.end(), data.begin(), data.end());
      file.insert(file.end(), body.begin(), body.end());
      const auto crc = static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
      for (int i = 3; i >= 0; --i) file.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
    };
    std::vector<std::uint8_t> ihdr;
    for (std::uint32_t v : {width, height})
      for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    ihdr.insert(ihdr.end(), {depth, colour_type, 0, 0, 0});
    chunk("IHDR", ihdr);
    chunk("IDAT", {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});  // an empty stream
    chunk("IEND", {});
    return file;
  };
  auto text = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
  const std::uint32_t widest = 2147483645;  // the widest image a grid can hold
  const std::vector<std::tuple<std::string, std::vector<std::uint8_t>, ImageStatus>> cases = {
      {"png rgb, 6 GB a row", png_header(widest, 1, 8, 2), ImageStatus::Unsupported},
      {"png grey, 2 GB a row", png_header(widest, 1, 8, 0), ImageStatus::Unsupported},
      {"png wider than a grid", png_header(widest + 1, 1, 1, 0), ImageStatus::Unreadable},
      {"pbm raw, pixels missing", text("P4\n2147483645 2147483645\n\x01"), ImageStatus::Unreadable},
      {"pbm wider than a grid", text("P1\n2147483646 1\n1"), ImageStatus::Unreadable},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [name, bytes, status] = cases[i];
    SCOPED_TRACE(name);
    const std::string path = folder.path("huge" + std::to_string(i));
    write_bytes(path, bytes);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(read_image(path).open, status);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
}

// A small drawing in each kind of file; every cut and many random byte changes.
TEST(Refusals, DamagedFilesAreUnreadableWithoutCrashOrNoise) {
  ScratchFolder folder;
  const InkImage image = generate_drawing(61, 47, 11);
  const RawSpec bilevel{PixelKind::Grey, 1, true, {}, false};
  const RawSpec rgb{PixelKind::Rgb, 8, false, {}, true};
  const RawSpec palette{PixelKind::Palette, 4, false, {{200, 200, 200}, {0, 0, 0}, {90, 90, 90}}, true};
  using Write = std::function<bool(const std::string&)>;
  const std::vector<std::pair<std::string, Write>> cases = {
      {"png",
       [&](const std::string& p) {
         return write_png(p, raw_from_ink(image, {PixelKind::Grey, 1, false, {}, false}), {});
       }},
      {"png interlaced palette",
       [&](const std::string& p) { return write_png(p, raw_from_ink(image, palette), {.interlaced = true}); }},
      {"tiff uncompressed", [&](const std::string& p) { return write_tiff(p, raw_from_ink(image, bilevel), {}); }},
      {"tiff LZW rgb",
       [&](const std::string& p) {
         return write_tiff(p, raw_from_ink(image, rgb), {.compression = TiffCompression::Lzw, .rows_per_strip = 4});
       }},
      {"tiff G3",
       [&](const std::string& p) {
         return write_tiff(p, raw_from_ink(image, bilevel), {.compression = TiffCompression::G3});
       }},
      {"tiff G4, tiled",
       [&](const std::string& p) {
         return write_tiff(p, raw_from_ink(image, bilevel),
                           {.compression = TiffCompression::G4, .tile_width = 32, .tile_length = 16});
       }},
      {"tiff rgb planar",
       [&](const std::string& p) { return write_tiff(p, raw_from_ink(image, rgb), {.planar = true}); }},
      {"pbm raw", [&](const std::string& p) { return write_pbm(p, image, false); }},
      {"pbm plain", [&](const std::string& p) { return write_pbm(p, image, true); }},
      {"jpeg grey, progressive",
       jpeg(raw_from_ink(image, {PixelKind::Grey, 8, false, {}, true}), {.progressive = true})},
      {"jpeg colour, restart markers", jpeg(raw_from_ink(image, rgb), {.restart_rows = 1})},
  };
  // Readers that check at open that every pixel is there, so that the driver
  // never sizes the grid for a file cut short.
  const std::set<std::string> checked_at_open = {"pbm raw", "pbm plain"};
  // Lossy files: a whole one reads back as it decodes, not as the drawing.
  const std::set<std::string> lossy = {"jpeg grey, progressive", "jpeg colour, restart markers"};
  std::mt19937 rng(5);
  for (const auto& [name, write] : cases) {
    SCOPED_TRACE(name);
    const std::string original = folder.path("original");
    ASSERT_TRUE(write(original));
    const std::vector<std::uint8_t> bytes = read_bytes(original);
    const ReadBack whole = read_image(original);
    ASSERT_EQ(whole.read, ImageStatus::Ok);
    ASSERT_TRUE(whole.image == image || lossy.contains(name));
    const std::string damaged = folder.path("damaged");
    ::testing::internal::CaptureStderr();

    // Cut short: refused whenever the cut reaches into the pixels (anywhere in
    // the first half), and otherwise either refused or the whole image intact.
    const std::size_t step = std::max<std::size_t>(1, bytes.size() / 300);
    for (std::size_t length = 0; length < bytes.size(); length += step) {
      write_bytes(damaged, {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)});
      const ReadBack back = read_image(damaged);
      const bool refused = back.open != ImageStatus::Ok || back.read != ImageStatus::Ok;
      const bool intact = !refused && back.image == whole.image;
      if (checked_at_open.contains(name)) {
        EXPECT_TRUE(back.open != ImageStatus::Ok || intact) << "cut at " << length << " of " << bytes.size();
      } else if (length < bytes.size() / 2) {
        EXPECT_TRUE(refused) << "cut at " << length << " of " << bytes.size();
      } else {
        EXPECT_TRUE(refused || intact) << "cut at " << length << " of " << bytes.size();
      }
    }
    // A few bytes changed anywhere: whatever comes of it, every row is
    // delivered once and within the image, or the file is refused.
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<std::uint8_t> changed = bytes;
      for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) {
        changed[rng() % changed.size()] = static_cast<std::uint8_t>(rng());
      }
      write_bytes(damaged, changed);
      const ReadBack back = read_image(damaged);
      EXPECT_TRUE(back.faults.empty()) << "trial " << trial << ": " << back.faults.front();
      if (back.open == ImageStatus::Ok && back.read == ImageStatus::Ok) {
        EXPECT_EQ(back.rows_delivered, back.info.height) << "trial " << trial;
      }
    }
    // Through the driver, half a file is unreadable, not unsupported.
    write_bytes(damaged, {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2)});
    Conversion conversion(any_image_reader_factory());
    Outcome conversion_outcome = Outcome::Done;
    RecordingHost host;
    conversion_outcome = conversion.ChangeImage(damaged, 2, host).outcome;
    EXPECT_EQ(conversion_outcome, Outcome::Unreadable);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
}

}  // namespace
}  // namespace vp::testing_imageio
