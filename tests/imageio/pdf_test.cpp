// PDF pages and multi-page TIFF through the converter: a scanned page converts
// byte for byte like the same image given as a file, in every code; pages are
// chosen, listed and named; locked, cut short and empty files are refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "cli/converter.h"
#include "core/messages.h"
#include "image_files.h"
#include "imageio/image_formats.h"
#include "pdf_files.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"

namespace vp::testing_imageio {
namespace {

constexpr int kDpi = 200;

struct ConverterRun {
  int status = 0;
  std::string out, err;
};
ConverterRun vpconvert(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = cli::run_converter(args, out, err, false);
  return {status, out.str(), err.str()};
}

std::string text_of(const std::string& path) {
  const std::vector<std::uint8_t> bytes = read_bytes(path);
  return {bytes.begin(), bytes.end()};
}

// The page img2pdf would write for the image at kDpi.
PdfPage scan_page(PdfImage image) {
  PdfPage page;
  page.width_pt = image.width * 72.0 / kDpi;
  page.height_pt = image.height * 72.0 / kDpi;
  page.images.push_back(std::move(image));
  return page;
}

PdfImage coded(const RawImage& raw, const std::string& space, std::vector<std::uint8_t> data,
               const std::string& filter = "/FlateDecode") {
  return {raw.width, raw.height, raw.bits, space, filter, "", "", false, std::move(data)};
}

const InkImage& drawing() {
  static const InkImage image = generate_drawing(160, 120, 7);
  return image;
}

PngOptions png_at_dpi() { return {.phys = true, .x_pixels_per_unit = 7874, .y_pixels_per_unit = 7874}; }

std::vector<std::uint8_t> jpeg_at_dpi(const RawImage& raw) {
  return encode_jpeg(raw, {.density_unit = 1, .x_density = kDpi, .y_density = kDpi});
}

// With the magnification from the image's resolution, when `from_dpi`.
std::string converted(const std::vector<std::string>& args, const std::string& output, bool from_dpi = true) {
  std::vector<std::string> all = args;
  all.insert(all.end(), {"-o", output});
  if (from_dpi) all.insert(all.end(), {"--rate", "from-dpi:1"});
  const ConverterRun run = vpconvert(all);
  EXPECT_EQ(run.status, 0) << run.err;
  return text_of(output);
}

TEST(PdfInput, EveryCodeConvertsLikeThePlainImage) {
  ScratchFolder folder;
  const std::string scratch = folder.path("scratch.tif");
  const RawImage one_bit = raw_from_ink(drawing(), {PixelKind::Grey, 1, false, {}, false});
  const RawImage grey = raw_from_ink(drawing(), {PixelKind::Grey, 8, false, {}, true});
  const RawImage rgb = raw_from_ink(drawing(), {PixelKind::Rgb, 8, false, {}, true});
  const RawImage indexed =
      raw_from_ink(drawing(), {PixelKind::Palette, 2, false, {{250, 250, 240}, {0, 0, 40}}, false});
  std::vector<std::uint8_t> inverted = packed_samples(one_bit);
  for (std::uint8_t& b : inverted) b = static_cast<std::uint8_t>(~b);

  BmpWriteOptions at_dpi;
  at_dpi.dpi = kDpi;
  const auto bmp = [&](const std::string& path) { return write_bmp_file(path, drawing(), at_dpi); };
  struct Case {
    std::string name;
    PdfImage image;
    std::function<bool(const std::string&)> plain;
  };
  PdfImage g4 = coded(one_bit, "/DeviceGray", ccitt_g4(one_bit, scratch), "/CCITTFaxDecode");
  g4.decode_parms =
      "<< /K -1 /Columns " + std::to_string(one_bit.width) + " /Rows " + std::to_string(one_bit.height) + " >>";
  PdfImage turned = coded(one_bit, "/DeviceGray", flate(inverted));
  turned.decode = "[1 0]";
  PdfImage mask = coded(one_bit, "", flate(packed_samples(one_bit)));
  mask.image_mask = true;
  const auto g3 = [&](const G3Layout& layout) {
    PdfImage image = coded(one_bit, "/DeviceGray", ccitt_g3(one_bit, layout, scratch), "/CCITTFaxDecode");
    image.decode_parms = g3_decode_parms(one_bit, layout);
    return image;
  };
  // Black coded as black, read back as 1 by /BlackIs1, turned round by /Decode.
  PdfImage g4_black_is_1 = g4;
  g4_black_is_1.decode_parms.insert(g4.decode_parms.size() - 2, "/BlackIs1 true ");
  g4_black_is_1.decode = "[1 0]";
  const auto rgb_hex = "<FAFAF0000028>";
  PdfImage jbig2 = coded(one_bit, "/DeviceGray", jbig2_mmr(one_bit, g4.data), "/JBIG2Decode");
  const Case cases[] = {
      {"CCITT G4, 1-bit", g4, bmp},
      {"CCITT G4, BlackIs1, Decode [1 0]", g4_black_is_1, bmp},
      {"CCITT G3 1-D, EOLs", g3({}), bmp},
      {"CCITT G3 1-D, no EOLs", g3({.end_of_line = false}), bmp},
      {"CCITT G3 1-D, rows on bytes", g3({.end_of_line = false, .byte_align = true}), bmp},
      {"CCITT G3 1-D, EOLs ending on bytes, BlackIs1", g3({.byte_align = true, .black_is_1 = true}), bmp},
      {"CCITT G3 2-D, EOLs", g3({.two_d = true}), bmp},
      {"CCITT G3 2-D, EOLs ending on bytes", g3({.two_d = true, .byte_align = true}), bmp},
      {"CCITT G3 2-D, EOLs starting on bytes", g3({.two_d = true, .byte_align = true, .eols_start_on_bytes = true}),
       bmp},
      {"CCITT G3 1-D, EOLs ending on bytes, /EndOfLine left out", g3({.byte_align = true, .eols_unsaid = true}), bmp},
      {"CCITT G3 2-D, BlackIs1", g3({.two_d = true, .black_is_1 = true}), bmp},
      {"JBIG2 (MMR)", jbig2, bmp},
      {"Flate 1-bit, Decode [1 0]", turned, bmp},
      {"Flate image mask", mask, bmp},
      {"Flate grey", coded(grey, "/DeviceGray", flate(packed_samples(grey))),
       [&](const std::string& p) { return write_png(p, grey, png_at_dpi()); }},
      {"Flate RGB", coded(rgb, "/DeviceRGB", flate(packed_samples(rgb))),
       [&](const std::string& p) { return write_png(p, rgb, png_at_dpi()); }},
      {"LZW grey", coded(grey, "/DeviceGray", lzw(grey, scratch), "/LZWDecode"),
       [&](const std::string& p) { return write_png(p, grey, png_at_dpi()); }},
      {"Flate indexed",
       coded(indexed, std::string("[/Indexed /DeviceRGB 1 ") + rgb_hex + "]", flate(packed_samples(indexed))),
       [&](const std::string& p) { return write_png(p, indexed, png_at_dpi()); }},
      {"DCT grey", coded(grey, "/DeviceGray", jpeg_at_dpi(grey), "/DCTDecode"),
       [&](const std::string& p) { return write_bytes(p, jpeg_at_dpi(grey)), true; }},
      {"DCT RGB", coded(rgb, "/DeviceRGB", jpeg_at_dpi(rgb), "/DCTDecode"),
       [&](const std::string& p) { return write_bytes(p, jpeg_at_dpi(rgb)), true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.image.data.empty());
    const std::string pdf = folder.path("page.pdf"), plain = folder.path("plain.img");
    write_bytes(pdf, pdf_bytes({scan_page(c.image)}));
    ASSERT_TRUE(c.plain(plain));
    const std::string from_pdf = converted({pdf}, folder.path("pdf.dxf"));
    EXPECT_NE(from_pdf.find("LINE"), std::string::npos);
    EXPECT_EQ(from_pdf, converted({plain}, folder.path("plain.dxf")));
    const ConverterRun info = vpconvert({"--info", pdf});
    EXPECT_NE(info.out.find("resolution: 200 dpi"), std::string::npos) << info.out;
  }
}

class PagedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const RawImage one_bit = raw_from_ink(drawing(), {PixelKind::Grey, 1, false, {}, false});
    PdfImage g4 = coded(one_bit, "/DeviceGray", ccitt_g4(one_bit, folder_.path("g4.tif")), "/CCITTFaxDecode");
    g4.decode_parms = "<< /K -1 /Columns 160 /Rows 120 >>";
    const InkImage other = generate_drawing(90, 70, 11);
    second_ = raw_from_ink(other, {PixelKind::Grey, 8, false, {}, true});
    PdfPage vector;
    vector.width_pt = vector.height_pt = 144;
    vector.content = "0 G 3 w 10 10 m 130 100 l S 20 120 m 120 20 l S\n";
    write_bytes(pdf_, pdf_bytes({scan_page(g4),
                                 scan_page(coded(second_, "/DeviceGray", flate(packed_samples(second_)))), vector}));
  }
  ScratchFolder folder_;
  std::string pdf_ = folder_.path("plan.pdf");
  RawImage second_;
};

TEST_F(PagedFiles, InfoListsEveryPageAndHowItIsRead) {
  const ConverterRun info = vpconvert({"--info", pdf_});
  ASSERT_EQ(info.status, 0) << info.err;
  for (const char* expected :
       {"page 1 of 3", "page 2 of 3", "page 3 of 3", "embedded image, CCITT G4", "embedded image, Flate",
        "rendered in grey at 300 dpi", "size: 160 x 120 pixels", "size: 90 x 70 pixels", "size: 600 x 600 pixels"}) {
    EXPECT_NE(info.out.find(expected), std::string::npos) << expected << "\n" << info.out;
  }
}

TEST_F(PagedFiles, PageOptionPicksAPageAndRefusesOneBeyondTheLast) {
  const std::string png = folder_.path("second.png");
  ASSERT_TRUE(write_png(png, second_, png_at_dpi()));
  EXPECT_EQ(converted({pdf_, "--page", "2"}, folder_.path("p2.dxf")), converted({png}, folder_.path("png.dxf")));
  const ConverterRun rendered = vpconvert({pdf_, "--page", "3", "--dpi", "100", "-o", folder_.path("p3.dxf")});
  EXPECT_EQ(rendered.status, 0) << rendered.err;
  EXPECT_NE(text_of(folder_.path("p3.dxf")).find("LINE"), std::string::npos);

  const ConverterRun beyond = vpconvert({pdf_, "--page", "4", "-o", folder_.path("p4.dxf")});
  EXPECT_EQ(beyond.status, 64);
  EXPECT_NE(beyond.err.find("has 3 pages"), std::string::npos) << beyond.err;
  EXPECT_FALSE(std::filesystem::exists(folder_.path("p4.dxf")));
  const std::string bmp = folder_.path("one.bmp");
  ASSERT_TRUE(write_bmp_file(bmp, drawing(), {}));
  const ConverterRun one_page = vpconvert({bmp, "--page", "2", "-o", folder_.path("one.dxf")});
  EXPECT_EQ(one_page.status, 64);
  EXPECT_NE(one_page.err.find("has 1 page"), std::string::npos) << one_page.err;

  // A multi-page TIFF: its second directory is the drawing turned round.
  const RawImage one_bit = raw_from_ink(drawing(), {PixelKind::Grey, 1, false, {}, false});
  RawImage turned = one_bit;
  for (std::uint32_t& v : turned.pixels) v ^= 1;
  const std::string tiff = folder_.path("pages.tif"), single = folder_.path("turned.tif");
  ASSERT_TRUE(write_tiff(tiff, one_bit, {.compression = TiffCompression::G4, .pages = 2}));
  ASSERT_TRUE(write_tiff(single, turned, {.compression = TiffCompression::G4}));
  EXPECT_EQ(converted({tiff, "--page", "2"}, folder_.path("t2.dxf"), false),
            converted({single}, folder_.path("turned.dxf"), false));
  EXPECT_EQ(vpconvert({tiff, "--page", "3", "-o", folder_.path("t3.dxf")}).status, 64);
}

TEST_F(PagedFiles, BatchWritesEveryPageUnderItsNumber) {
  const std::string bmp = folder_.path("single.bmp");
  ASSERT_TRUE(write_bmp_file(bmp, drawing(), {}));
  const std::string out = folder_.path("out");
  const ConverterRun batch = vpconvert({pdf_, bmp, "--to", "dxf", "--out-dir", out});
  EXPECT_EQ(batch.status, 0) << batch.out << batch.err;
  for (const char* name : {"plan-p1.dxf", "plan-p2.dxf", "plan-p3.dxf", "single.dxf"}) {
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(out) / name)) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(out) / "plan.dxf"));
  EXPECT_NE(batch.out.find("4 pages: 4 written"), std::string::npos) << batch.out;
}

TEST(PdfInput, LockedCutShortAndEmptyFilesAreRefusedAndNothingIsWritten) {
  ScratchFolder folder;
  const RawImage grey = raw_from_ink(drawing(), {PixelKind::Grey, 8, false, {}, false});
  const PdfPage page = scan_page(coded(grey, "/DeviceGray", flate(packed_samples(grey))));
  std::vector<std::uint8_t> cut = pdf_bytes({page});
  cut.resize(cut.size() * 2 / 3);
  struct Case {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::string_view message;
  };
  const Case cases[] = {
      {"locked", pdf_bytes({page}, true), messages::kPasswordProtected},
      {"cut short", cut, messages::kUnreadableImage},
      {"no pages", pdf_bytes({}), messages::kUnreadableImage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string pdf = folder.path("bad.pdf"), dxf = folder.path("bad.dxf");
    write_bytes(pdf, c.bytes);
    const ConverterRun run = vpconvert({pdf, "-o", dxf});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dxf));
  }

  // A JBIG2 page of 60000 x 60000 pixels in a few bytes: the decoder would need
  // 450 MB for it, more than the reader lets the library have.
  RawImage vast;
  vast.width = vast.height = 60000;
  PdfImage bomb = coded(vast, "/DeviceGray", jbig2_mmr(vast, {0x00, 0x10, 0x01}), "/JBIG2Decode");
  bomb.bits = 1;
  const std::string pdf = folder.path("vast.pdf");
  write_bytes(pdf, pdf_bytes({scan_page(bomb)}));
  OpenedImage opened = open_any_image(pdf);
  ASSERT_EQ(opened.status, ImageStatus::Ok);
  EXPECT_EQ(opened.reader->info().width, 60000);
  EXPECT_EQ(opened.reader->read_rows([](std::int32_t, std::span<const std::uint64_t>) { return true; }),
            ImageStatus::Unreadable);
}

}  // namespace
}  // namespace vp::testing_imageio
