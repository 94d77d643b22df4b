// What PDF input costs, by the converter as a child process (wall time, CPU
// time, peak memory, best of N):
//  - the A1 400 dpi benchmark drawing as a CCITT G4 scanned page against the same
//    drawing as a 1-bit BMP, both to DXF;
//  - an A0 vector page (a plotted drawing: lines and circles) rendered at 600 dpi,
//    and the same ink given as a 1-bit PBM: the default path's peak against the
//    sheet's 1-bit grid, with no renderer or grey clean-up in the way.
//
//   pdf_bench [--folder DIR] [--runs N] [--keep]   (--keep: leave the input files in DIR)
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "testkit/bmp_writer.h"
#include "testkit/pdf_writer.h"
#include "testkit/splitmix.h"
#include "testkit/synthetic_drawing.h"

namespace {

// The drawing as one CCITT G4 strip, coded by libtiff (set bits of a MinIsWhite
// image are black runs, which a PDF decoder without /BlackIs1 gives back as black).
std::vector<std::uint8_t> g4_of(const vp::InkImage& image, const std::string& scratch) {
  TIFF* tif = TIFFOpen(scratch.c_str(), "w");
  if (tif == nullptr) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(image.height));
  std::vector<std::uint8_t> row((static_cast<std::size_t>(image.width) + 7) / 8);
  for (std::int32_t y = 0; y < image.height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (std::int32_t x = 0; x < image.width; ++x) {
      if (image.get(x, y)) row[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0);
  }
  TIFFClose(tif);
  tif = TIFFOpen(scratch.c_str(), "r");
  if (tif == nullptr) return {};
  std::vector<std::uint8_t> strip(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
  const tmsize_t got = TIFFReadRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
  TIFFClose(tif);
  std::filesystem::remove(scratch);
  strip.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return strip;
}

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// A plotted A0 sheet: a frame, a grid of hairline-free 0.35 mm strokes, and circles.
vp::PdfPage a0_vector_page() {
  vp::PdfPage page;
  page.width_pt = 2384;
  page.height_pt = 3370;
  std::string c = "0 G 1 w 1 J\n20 20 2344 3330 re S\n";
  vp::SplitMix64 random(600);
  auto coordinate = [&](double limit) { return 40 + static_cast<double>(random.next() % 100000) / 100000 * limit; };
  char op[160];
  for (int i = 0; i < 3000; ++i) {
    std::snprintf(op, sizeof op, "%.1f %.1f m %.1f %.1f l S\n", coordinate(2300), coordinate(3290), coordinate(2300),
                  coordinate(3290));
    c += op;
  }
  constexpr double k = 0.5523;  // a quarter circle as one Bézier curve
  for (int i = 0; i < 400; ++i) {
    const double x = coordinate(2200) + 50, y = coordinate(3200) + 50, r = 5 + coordinate(40);
    std::snprintf(op, sizeof op,
                  "%.1f %.1f m %.1f %.1f %.1f %.1f %.1f %.1f c %.1f %.1f %.1f %.1f %.1f %.1f c "
                  "%.1f %.1f %.1f %.1f %.1f %.1f c %.1f %.1f %.1f %.1f %.1f %.1f c S\n",
                  x + r, y, x + r, y + k * r, x + k * r, y + r, x, y + r, x - k * r, y + r, x - r, y + k * r, x - r, y,
                  x - r, y - k * r, x - k * r, y - r, x, y - r, x + k * r, y - r, x + r, y - k * r, x + r, y);
    c += op;
  }
  page.content = c;
  return page;
}

void print_row(const char* name, const vp::bench::ChildRun& run) {
  std::printf("%-34s %9.3f %9.3f %9.1f%s\n", name, run.seconds, run.cpu_seconds, run.peak_mib,
              run.ok ? "" : " (failed)");
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = std::filesystem::temp_directory_path().string();
  int runs = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--keep") == 0) {
      keep = true;
    } else if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: pdf_bench [--folder DIR] [--runs N] [--keep]\n");
      return 2;
    }
  }
  const vp::InkImage a1 = vp::generate_drawing(13244, 9362, 2026);
  const std::string bmp = folder + "/pdf-bench-a1-400dpi.bmp", pdf = folder + "/pdf-bench-a1-400dpi.pdf";
  vp::BmpWriteOptions options;
  options.dpi = 400;
  vp::PdfPage scan;
  scan.width_pt = a1.width * 72.0 / 400;
  scan.height_pt = a1.height * 72.0 / 400;
  scan.images.push_back(
      {a1.width, a1.height, 1, "/DeviceGray", "/CCITTFaxDecode",
       "<< /K -1 /Columns " + std::to_string(a1.width) + " /Rows " + std::to_string(a1.height) + " >>", "", false,
       g4_of(a1, folder + "/pdf-bench-g4.tif")});
  if (!vp::write_bmp_file(bmp, a1, options) || scan.images[0].data.empty() || !write_file(pdf, vp::pdf_bytes({scan}))) {
    std::fprintf(stderr, "cannot write the A1 files in %s\n", folder.c_str());
    return 1;
  }
  const std::string a0 = folder + "/pdf-bench-a0-vector.pdf";
  if (!write_file(a0, vp::pdf_bytes({a0_vector_page()}))) return 1;
  const std::string out = folder + "/pdf-bench-out.dxf";
  const auto convert = [&](const std::string& input, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {VP_CONVERTER_PATH, input, "-o", out, "--passes", "3", "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    return vp::bench::best_of(runs, args);
  };
  const vp::bench::ChildRun from_bmp = convert(bmp);
  const vp::bench::ChildRun from_pdf = convert(pdf);
  const vp::bench::ChildRun rendered = convert(a0, {"--dpi", "600"});
  const std::string a0_ink = folder + "/pdf-bench-a0-ink.pbm";
  const bool ink_written =
      vp::bench::run_child({VP_CONVERTER_PATH, a0, "-o", out, "--dpi", "600", "--ink", a0_ink, "--quiet"}).ok;
  const vp::bench::ChildRun from_pbm = ink_written ? convert(a0_ink) : vp::bench::ChildRun{};
  std::printf("%-34s %9s %9s %9s\n", "to DXF", "wall s", "cpu s", "peak MiB");
  print_row("A1 400 dpi, 1-bit BMP", from_bmp);
  print_row("A1 400 dpi, CCITT G4 PDF page", from_pdf);
  print_row("A0 vector PDF page at 600 dpi", rendered);
  print_row("A0 600 dpi ink as a 1-bit PBM", from_pbm);
  std::printf("# G4 PDF against BMP: time x%.2f (limit x1.3), peak %+.1f MiB (limit +64 MiB)\n",
              from_pdf.seconds / from_bmp.seconds, from_pdf.peak_mib - from_bmp.peak_mib);
  const double a0_grid_mib = std::ceil(2384 / 72.0 * 600 + 2) * std::ceil(3370 / 72.0 * 600 + 2) / 8 / 1048576;
  std::printf("# PDF %.1f MiB, BMP %.1f MiB; the A0 page's 1-bit grid alone is %.1f MiB\n",
              static_cast<double>(std::filesystem::file_size(pdf)) / 1048576,
              static_cast<double>(std::filesystem::file_size(bmp)) / 1048576, a0_grid_mib);
  // Beyond the grid, the A0 sheet's peak is mostly its segments (16 bytes each, held
  // until written): some fifteen million of them.
  std::printf("# A0 PBM peak: %.2f x the 1-bit grid\n", from_pbm.peak_mib / a0_grid_mib);
  std::filesystem::remove(out);
  if (!keep) {
    for (const std::string& f : {bmp, pdf, a0, a0_ink}) std::filesystem::remove(f);
  }
  return 0;
}
