// The threshold rules scored on degraded scans of generated drawings: the pixel
// F-measure of the ink each rule finds against the clean drawing's ink.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <cstdio>

#include "scan/threshold.h"
#include "support/degraded_scan.h"
#include "testkit/document_scan.h"

namespace vp::scan {
namespace {

using testing::ScanImage;
using testing::ScanLook;

// A JPEG round trip at quality 75, in memory.
ScanImage through_jpeg(const ScanImage& scan) {
  jpeg_compress_struct out{};
  jpeg_error_mgr errors{};
  out.err = jpeg_std_error(&errors);
  jpeg_create_compress(&out);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&out, &buffer, &size);
  out.image_width = static_cast<JDIMENSION>(scan.width);
  out.image_height = static_cast<JDIMENSION>(scan.height);
  out.input_components = scan.colour ? 3 : 1;
  out.in_color_space = scan.colour ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(&out);
  jpeg_set_quality(&out, 75, TRUE);
  jpeg_start_compress(&out, TRUE);
  const std::size_t stride = static_cast<std::size_t>(scan.width) * static_cast<std::size_t>(out.input_components);
  while (out.next_scanline < out.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(scan.pixels.data() + out.next_scanline * stride);
    jpeg_write_scanlines(&out, &row, 1);
  }
  jpeg_finish_compress(&out);
  jpeg_destroy_compress(&out);

  jpeg_decompress_struct in{};
  in.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&in);
  jpeg_mem_src(&in, buffer, size);
  jpeg_read_header(&in, TRUE);
  jpeg_start_decompress(&in);
  ScanImage decoded = scan;
  while (in.output_scanline < in.output_height) {
    JSAMPROW row = decoded.pixels.data() + in.output_scanline * stride;
    jpeg_read_scanlines(&in, &row, 1);
  }
  jpeg_finish_decompress(&in);
  jpeg_destroy_decompress(&in);
  std::free(buffer);
  return decoded;
}

// The scan's rows as a reader hands them over: colour through luma().
GreySource source_of(const ScanImage& scan) {
  return [&scan](const GreyRowSink& sink) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(scan.width));
    for (std::int32_t y = 0; y < scan.height; ++y) {
      for (std::int32_t x = 0; x < scan.width; ++x) {
        const std::size_t i =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(scan.width) + static_cast<std::size_t>(x);
        row[static_cast<std::size_t>(x)] =
            scan.colour ? luma(scan.pixels[3 * i], scan.pixels[3 * i + 1], scan.pixels[3 * i + 2]) : scan.pixels[i];
      }
      if (!sink(y, row)) break;
    }
    return ImageStatus::Ok;
  };
}

InkImage ink_of(const ScanImage& scan, ThresholdRule rule, double dpi) {
  InkImage ink(scan.width, scan.height);
  const ThresholdOutcome outcome = apply_threshold(
      {rule}, scan.width, scan.height, source_of(scan),
      [&](std::int32_t r, std::span<const std::uint64_t> row) {
        std::copy(row.begin(), row.end(), ink.row(r).begin());
        return true;
      },
      dpi);
  EXPECT_EQ(outcome.status, ImageStatus::Ok);
  return ink;
}

struct Kind {
  const char* name;
  ScanLook look;
  bool thick = false;
  bool jpeg = false;
  double floor = 0;  // auto's score must reach this
  std::int32_t width = 900, height = 640;
  double dpi = 0;          // the resolution the reader gives; 0 when the file does not
  bool form = false;       // a dense ruled form rather than a drawing
  bool wide_fill = false;  // a filled area half the sheet wide, beyond the closing's reach
};

ScanLook look(auto change) {
  ScanLook l;
  change(l);
  return l;
}

// Auto's score, checked against otsu's and Sauvola's on the same scan (a row of the printed table).
double scored(const char* name, const ScanImage& scan, const InkImage& truth, double dpi) {
  const double automatic = testing::f_measure(ink_of(scan, ThresholdRule::Auto, dpi), truth);
  const double otsu = testing::f_measure(ink_of(scan, ThresholdRule::Otsu, dpi), truth);
  const double sauvola = testing::f_measure(ink_of(scan, ThresholdRule::Adaptive, dpi), truth);
  std::printf("%-24s %7.4f %7.4f %7.4f\n", name, automatic, otsu, sauvola);
  EXPECT_GE(automatic, otsu - 0.002);
  EXPECT_GE(automatic, sauvola - 0.002);
  return automatic;
}

TEST(ThresholdQuality, AutoScoresAtLeastAsWellAsOtsuAndSauvolaOnEveryKindOfScan) {
  const std::vector<Kind> kinds = {
      {"blur", look([](ScanLook& l) { l.blur = 1.6; }), false, false, 0.90},
      {"noise", look([](ScanLook& l) { l.noise = 16; }), false, false, 0.90},
      {"light falloff", look([](ScanLook& l) { l.light_falloff = 0.55; }), false, false, 0.90},
      {"faint pencil", look([](ScanLook& l) {
         l.ink[0] = l.ink[1] = l.ink[2] = 102;
         l.blur = 1.0;
       }),
       false, false, 0.90},
      {"blue on yellowish", look([](ScanLook& l) {
         l.paper[0] = 245, l.paper[1] = 235, l.paper[2] = 185;
         l.ink[0] = 40, l.ink[1] = 60, l.ink[2] = 170;
       }),
       false, false, 0.90},
      {"jpeg q75", look([](ScanLook&) {}), false, true, 0.90},
      {"dust", look([](ScanLook& l) { l.dust = 600; }), false, false, 0.90},
      {"thick features", look([](ScanLook&) {}), true, false, 0.90},
      {"all at once", look([](ScanLook& l) {
         l.blur = 1.2, l.noise = 8, l.light_falloff = 0.4, l.dust = 300;
         l.paper[0] = 240, l.paper[1] = 232, l.paper[2] = 190;
         l.ink[0] = 95, l.ink[1] = 110, l.ink[2] = 160;
       }),
       true, true, 0.85},
      // Small and low-resolution sheets, a dense form and coloured paper, each under uneven light.
      {"small, uneven", look([](ScanLook& l) { l.light_falloff = 0.55; }), false, false, 0.85, 400, 500},
      {"small jpeg, uneven", look([](ScanLook& l) { l.light_falloff = 0.45; }), false, true, 0.85, 300, 420},
      {"small thick, uneven", look([](ScanLook& l) { l.light_falloff = 0.5; }), true, false, 0.85, 600, 450},
      {"75 dpi, uneven", look([](ScanLook& l) {
         l.light_falloff = 0.5;
         l.blur = 0.6;
       }),
       false, false, 0.85, 620, 877, 75},
      {"150 dpi, uneven", look([](ScanLook& l) { l.light_falloff = 0.5; }), false, false, 0.85, 640, 900, 150},
      {"ruled form, uneven", look([](ScanLook& l) {
         l.light_falloff = 0.5;
         l.blur = 0.6;
       }),
       false, false, 0.85, 600, 800, 100, true},
      {"small, wide fill, 75 dpi", look([](ScanLook& l) { l.light_falloff = 0.55; }), false, false, 0.85, 400, 500, 75,
       false, true},
      {"coloured paper, uneven", look([](ScanLook& l) {
         l.light_falloff = 0.5;
         l.paper[0] = 250, l.paper[1] = 205, l.paper[2] = 215;
         l.ink[0] = 30, l.ink[1] = 30, l.ink[2] = 60;
       }),
       false, false, 0.85},
  };
  std::printf("%-24s %7s %7s %7s\n", "kind", "auto", "otsu", "sauvola");
  for (const Kind& kind : kinds) {
    SCOPED_TRACE(kind.name);
    InkImage clean = kind.form ? testing::ruled_form(kind.width, kind.height, 5)
                               : testing::scan_drawing(kind.width, kind.height, 3, kind.thick);
    if (kind.wide_fill)
      for (std::int32_t y = kind.height * 3 / 10; y < kind.height * 7 / 10; ++y)
        clean.fill_span(y, kind.width / 4, kind.width * 3 / 4);
    ScanImage scan = testing::degrade(clean, kind.look);
    if (kind.jpeg) scan = through_jpeg(scan);
    EXPECT_GE(scored(kind.name, scan, clean, kind.dpi), kind.floor);
  }
}

// Worn documents: whatever the paper collects (stains, a spine's shadow, the
// back page showing through, a fold) stays paper, and the faint pencil beside
// the ink stays ink.
TEST(ThresholdQuality, AutoKeepsStainsShadowsAndBleedThroughOffTheInkOfDocuments) {
  struct Document {
    const char* name;
    PageContent content;
    DocumentFlaws flaws;
  };
  const auto flaws = [](auto change) {
    DocumentFlaws f;
    change(f);
    return f;
  };
  const std::vector<Document> documents = {
      {"stains, print", PageContent::Print, flaws([](DocumentFlaws& f) { f.stains = 6; })},
      {"stains, hand, uneven", PageContent::Handwriting,
       flaws([](DocumentFlaws& f) { f.stains = 6, f.light_falloff = 0.5, f.seed = 2; })},
      {"stains, drawing, uneven", PageContent::Drawing,
       flaws([](DocumentFlaws& f) { f.stains = 8, f.light_falloff = 0.45, f.seed = 3; })},
      {"bleed-through, hand", PageContent::Handwriting, flaws([](DocumentFlaws& f) { f.bleed_through = 0.45; })},
      {"bleed-through, uneven", PageContent::Print,
       flaws([](DocumentFlaws& f) { f.bleed_through = 0.4, f.light_falloff = 0.5, f.seed = 4; })},
      {"spine shadow, print", PageContent::Print, flaws([](DocumentFlaws& f) { f.spine_shadow = true, f.seed = 5; })},
      {"spine shadow, uneven", PageContent::Handwriting,
       flaws([](DocumentFlaws& f) { f.spine_shadow = true, f.light_falloff = 0.45, f.seed = 6; })},
      {"fold, drawing", PageContent::Drawing, flaws([](DocumentFlaws& f) { f.fold = true, f.seed = 7; })},
      {"fold, print, uneven", PageContent::Print,
       flaws([](DocumentFlaws& f) { f.fold = true, f.light_falloff = 0.5, f.seed = 8; })},
      {"worn, hand, uneven", PageContent::Handwriting, flaws([](DocumentFlaws& f) {
         f.stains = 4, f.spine_shadow = f.fold = true, f.bleed_through = 0.35, f.light_falloff = 0.4, f.noise = 8;
         f.seed = 9;
       })},
  };
  double sum = 0;
  for (const Document& document : documents) {
    SCOPED_TRACE(document.name);
    const DocumentScan page = scan_document(850, 1100, document.content, document.flaws);
    const ScanImage scan{page.truth.width, page.truth.height, false, page.grey};
    sum += scored(document.name, scan, page.truth, 0);
  }
  EXPECT_GE(sum / static_cast<double>(documents.size()), 0.85);
}

}  // namespace
}  // namespace vp::scan
