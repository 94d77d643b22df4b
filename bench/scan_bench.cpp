// The scan clean-up on an A1 sheet scanned at 400 dpi (13244 x 9362) in 8-bit
// grey: the synthetic drawing blurred, with sensor noise and light that falls
// off across the sheet, saved as PNG, as TIFF (LZW) and as JPEG (quality 90).
// For each: the reader alone (every grey row decoded, nothing else), then the
// conversion with `--threshold auto --despeckle 8` to DXF, timed with its peak
// memory; in the same run the usual free route, mkbitmap (potrace's scan
// preprocessor, default settings) on the same pixels as PGM, then potrace -b dxf;
// and the drawing itself as a 1-bit BMP. Every time is the minimum and the
// median of the runs: the machine is shared.
//
//   scan_bench [--folder DIR] [--runs N] [--keep] [--converter PATH]
#include <png.h>
#include <tiffio.h>
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "bench/child_run.h"
#include "imageio/image_formats.h"
#include "testkit/bmp_writer.h"
#include "testkit/splitmix.h"
#include "testkit/synthetic_drawing.h"

namespace {

using Clock = std::chrono::steady_clock;

using vp::bench::ChildRun;
using vp::bench::run_child;

// The minimum and the median of repeated runs.
struct Timing {
  bool ok = true;
  double min = 0, median = 0;          // wall seconds
  double cpu_min = 0, cpu_median = 0;  // user and system seconds
  double peak_mib = 0;                 // the largest of the runs
};

Timing timing_of(std::vector<double> wall, std::vector<double> cpu, double peak, bool ok) {
  Timing t;
  t.ok = ok && !wall.empty();
  if (!t.ok) return t;
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  t.min = wall.front();
  t.median = wall[wall.size() / 2];
  t.cpu_min = cpu.front();
  t.cpu_median = cpu[cpu.size() / 2];
  t.peak_mib = peak;
  return t;
}

Timing timed_child(int runs, const std::vector<std::string>& argv) {
  std::vector<double> wall, cpu;
  double peak = 0;
  for (int i = 0; i < runs; ++i) {
    const ChildRun run = run_child(argv);
    if (!run.ok) return timing_of({}, {}, 0, false);
    wall.push_back(run.seconds);
    cpu.push_back(run.cpu_seconds);
    peak = std::max(peak, run.peak_mib);
  }
  return timing_of(wall, cpu, peak, true);
}

// The reader alone: every grey row decoded and handed to a sink that only looks at it.
Timing timed_decode(int runs, const std::string& path) {
  std::vector<double> wall, cpu;
  bool ok = true;
  for (int i = 0; i < runs && ok; ++i) {
    const auto start = Clock::now();
    const std::clock_t cpu_start = std::clock();
    const std::unique_ptr<vp::ImageReader> reader = vp::make_image_reader(path);
    std::uint64_t seen = 0;
    ok = reader && reader->open(path) == vp::ImageStatus::Ok &&
         reader->read_grey_rows([&](std::int32_t, std::span<const std::uint8_t> grey) {
           seen += grey[grey.size() / 2];
           return true;
         }) == vp::ImageStatus::Ok &&
         seen > 0;
    wall.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    cpu.push_back(static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC);
  }
  return timing_of(wall, cpu, 0, ok);
}

void print_timing(const char* what, const Timing& t) {
  if (!t.ok) {
    std::printf("%-44s failed\n", what);
    return;
  }
  std::printf("%-44s min %6.3f s  median %6.3f s  (cpu min %6.3f, median %6.3f s)", what, t.min, t.median, t.cpu_min,
              t.cpu_median);
  if (t.peak_mib > 0) std::printf("  peak %6.1f MiB", t.peak_mib);
  std::printf("\n");
}

// The scan, one row at a time: the ink blurred (Gaussian, sigma 1.1), paper 232
// and ink 45 under light that loses 35 % towards the far corner, noise of
// deviation 6. Rows go to `row(y, levels)`.
template <class Row>
void scan_rows(const vp::InkImage& ink, Row row) {
  constexpr int kRadius = 3;
  constexpr double kSigma = 1.1;
  float kernel[2 * kRadius + 1];
  float sum = 0;
  for (int i = -kRadius; i <= kRadius; ++i)
    sum += kernel[i + kRadius] = static_cast<float>(std::exp(-0.5 * i * i / (kSigma * kSigma)));
  for (float& k : kernel) k /= sum;
  const std::int32_t w = ink.width, h = ink.height;
  std::vector<float> column(static_cast<std::size_t>(w)), cover(static_cast<std::size_t>(w));
  std::vector<std::uint8_t> levels(static_cast<std::size_t>(w));
  vp::SplitMix64 random(400);
  for (std::int32_t y = 0; y < h; ++y) {
    std::fill(column.begin(), column.end(), 0.0f);
    for (int dy = -kRadius; dy <= kRadius; ++dy) {
      const std::int32_t yy = std::clamp(y + dy, 0, h - 1);
      const auto bits = ink.row(yy);
      for (std::size_t k = 0; k < bits.size(); ++k) {
        for (std::uint64_t b = bits[k]; b != 0; b &= b - 1)
          column[k * 64 + static_cast<std::size_t>(std::countr_zero(b))] += kernel[dy + kRadius];
      }
    }
    for (std::int32_t x = 0; x < w; ++x) {
      float c = 0;
      for (int dx = -kRadius; dx <= kRadius; ++dx)
        c += kernel[dx + kRadius] * column[static_cast<std::size_t>(std::clamp(x + dx, 0, w - 1))];
      cover[static_cast<std::size_t>(x)] = c;
    }
    for (std::int32_t x = 0; x < w; ++x) {
      const double light = 1 - 0.35 * (0.7 * x / w + 0.3 * y / h);
      double noise = 0;
      for (int k = 0; k < 4; ++k) noise += random.uniform() - 0.5;
      const double value = (232 + (45 - 232) * cover[static_cast<std::size_t>(x)]) * light + noise * 6 * std::sqrt(3.0);
      levels[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
    }
    row(y, levels);
  }
}

struct ScanPaths {
  std::string png, pgm, tiff, jpeg;
};

bool write_scans(const vp::InkImage& ink, const ScanPaths& paths) {
  std::FILE* png_file = std::fopen(paths.png.c_str(), "wb");
  std::FILE* pgm_file = std::fopen(paths.pgm.c_str(), "wb");
  std::FILE* jpeg_file = std::fopen(paths.jpeg.c_str(), "wb");
  TIFF* tiff = TIFFOpen(paths.tiff.c_str(), "w");
  if (png_file == nullptr || pgm_file == nullptr || jpeg_file == nullptr || tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(ink.width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(ink.height));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 400.0f);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 400.0f);
  jpeg_compress_struct jpeg{};
  jpeg_error_mgr jpeg_errors{};
  jpeg.err = jpeg_std_error(&jpeg_errors);  // an error exits: the bench has nothing to clean up
  jpeg_create_compress(&jpeg);
  jpeg_stdio_dest(&jpeg, jpeg_file);
  jpeg.image_width = static_cast<JDIMENSION>(ink.width);
  jpeg.image_height = static_cast<JDIMENSION>(ink.height);
  jpeg.input_components = 1;
  jpeg.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&jpeg);
  jpeg_set_quality(&jpeg, 90, TRUE);
  jpeg.density_unit = 1;
  jpeg.X_density = jpeg.Y_density = 400;
  jpeg_start_compress(&jpeg, TRUE);
  bool tiff_ok = true;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, png_file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(ink.width), static_cast<png_uint_32>(ink.height), 8,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, 15748, 15748, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  std::fprintf(pgm_file, "P5\n%d %d\n255\n", ink.width, ink.height);
  scan_rows(ink, [&](std::int32_t y, std::vector<std::uint8_t>& levels) {
    png_write_row(png, levels.data());
    std::fwrite(levels.data(), 1, levels.size(), pgm_file);
    JSAMPROW row = levels.data();
    jpeg_write_scanlines(&jpeg, &row, 1);
    tiff_ok = tiff_ok && TIFFWriteScanline(tiff, levels.data(), static_cast<std::uint32_t>(y), 0) == 1;
  });
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  jpeg_finish_compress(&jpeg);
  jpeg_destroy_compress(&jpeg);
  TIFFClose(tiff);
  return tiff_ok && std::fclose(png_file) == 0 && std::fclose(pgm_file) == 0 && std::fclose(jpeg_file) == 0;
}

vp::BmpWriteOptions one_bit_at_400_dpi() {
  vp::BmpWriteOptions options;
  options.dpi = 400;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = (std::filesystem::temp_directory_path() / "vp-scan-bench").string();
  std::string converter = VP_CONVERTER_PATH;
  int runs = 5;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--folder" && i + 1 < argc)
      folder = argv[++i];
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--converter" && i + 1 < argc)
      converter = argv[++i];
    else if (arg == "--keep")
      keep = true;
    else {
      std::fprintf(stderr, "usage: scan_bench [--folder DIR] [--runs N] [--keep] [--converter PATH]\n");
      return 64;
    }
  }
  std::filesystem::create_directories(folder);
  const ScanPaths scan{folder + "/a1-400dpi-grey.png", folder + "/a1-400dpi-grey.pgm", folder + "/a1-400dpi-grey.tif",
                       folder + "/a1-400dpi-grey.jpg"};
  const std::string bitmap = folder + "/a1-400dpi-1bit.bmp";
  auto start = Clock::now();
  const vp::InkImage drawing = vp::generate_drawing(13244, 9362, 2026);
  const bool written = (keep && std::filesystem::exists(scan.jpeg) && std::filesystem::exists(bitmap)) ||
                       (write_scans(drawing, scan) && vp::write_bmp_file(bitmap, drawing, one_bit_at_400_dpi()));
  if (!written) {
    std::fprintf(stderr, "cannot write the scans in %s\n", folder.c_str());
    return 1;
  }
  std::printf(
      "# A1 400 dpi grey scan (13244 x 9362, ink %.2f%%) ready in %.1f s in %s: PNG %.1f MiB, TIFF %.1f MiB, "
      "JPEG %.1f MiB; %d runs each\n",
      drawing.coverage() * 100, std::chrono::duration<double>(Clock::now() - start).count(), folder.c_str(),
      static_cast<double>(std::filesystem::file_size(scan.png)) / 1048576.0,
      static_cast<double>(std::filesystem::file_size(scan.tiff)) / 1048576.0,
      static_cast<double>(std::filesystem::file_size(scan.jpeg)) / 1048576.0, runs);
  std::printf("# converter: %s\n", converter.c_str());

  struct Format {
    const char* name;
    std::string path;
    Timing decode, convert;
  };
  Format formats[] = {{"PNG", scan.png, {}, {}}, {"TIFF (LZW)", scan.tiff, {}, {}}, {"JPEG (q90)", scan.jpeg, {}, {}}};
  for (Format& f : formats) {
    f.decode = timed_decode(runs, f.path);
    f.convert = timed_child(
        runs, {converter, f.path, "-o", folder + "/ours.dxf", "--threshold", "auto", "--despeckle", "8", "--quiet"});
    print_timing((std::string(f.name) + " decode only").c_str(), f.decode);
    print_timing((std::string(f.name) + " --threshold auto --despeckle 8").c_str(), f.convert);
    if (f.decode.ok && f.convert.ok)
      std::printf("%-44s %.2f (min), %.2f (median); target at most 1.30\n",
                  (std::string(f.name) + " conversion / decode").c_str(), f.convert.min / f.decode.min,
                  f.convert.median / f.decode.median);
  }
  // The same conversion without naming the rule: the first rows' levels choose auto.
  print_timing("PNG --despeckle 8 (rule by format)",
               timed_child(runs, {converter, scan.png, "-o", folder + "/plain.dxf", "--despeckle", "8", "--quiet"}));
  print_timing("1-bit BMP, plain conversion",
               timed_child(runs, {converter, bitmap, "-o", folder + "/bitmap.dxf", "--quiet"}));

  if (std::system("command -v mkbitmap >/dev/null 2>&1 && command -v potrace >/dev/null 2>&1") == 0) {
    const Timing mkbitmap = timed_child(runs, {"mkbitmap", scan.pgm, "-o", folder + "/scan.pbm"});
    const Timing potrace =
        timed_child(runs, {"potrace", "-b", "dxf", folder + "/scan.pbm", "-o", folder + "/theirs.dxf"});
    print_timing("mkbitmap", mkbitmap);
    print_timing("potrace -b dxf", potrace);
    const Timing& ours = formats[0].convert;
    if (ours.ok && mkbitmap.ok && potrace.ok)
      std::printf("PNG conversion / (mkbitmap + potrace): %.3f (min), %.3f (median); target at most 0.15\n",
                  ours.min / (mkbitmap.min + potrace.min), ours.median / (mkbitmap.median + potrace.median));
  } else {
    std::printf("# mkbitmap and potrace not found (Debian package potrace): no side-by-side run\n");
  }
  if (!keep) {
    for (const char* name :
         {"/a1-400dpi-grey.png", "/a1-400dpi-grey.pgm", "/a1-400dpi-grey.tif", "/a1-400dpi-grey.jpg",
          "/a1-400dpi-1bit.bmp", "/scan.pbm", "/ours.dxf", "/plain.dxf", "/bitmap.dxf", "/theirs.dxf"})
      std::filesystem::remove(folder + name);
  }
  return 0;
}
