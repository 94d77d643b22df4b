// The scan clean-up on an A1 sheet scanned at 400 dpi (13244 x 9362) in 8-bit
// grey, as PNG: the synthetic drawing blurred, with sensor noise and light that
// falls off across the sheet. Timed with its peak memory, converted with
// `--threshold auto --despeckle 8` to DXF, in the same run as the usual free
// route: mkbitmap (potrace's scan preprocessor, default settings) on the same
// pixels as PGM, then potrace -b dxf.
//
//   scan_bench [--folder DIR] [--runs N] [--keep]
#include <png.h>
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "testkit/splitmix.h"
#include "testkit/synthetic_drawing.h"

namespace {

using Clock = std::chrono::steady_clock;

using vp::bench::best_of;
using vp::bench::ChildRun;

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

bool write_scans(const vp::InkImage& ink, const std::string& png_path, const std::string& pgm_path) {
  std::FILE* png_file = std::fopen(png_path.c_str(), "wb");
  std::FILE* pgm_file = std::fopen(pgm_path.c_str(), "wb");
  if (png_file == nullptr || pgm_file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, png_file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(ink.width), static_cast<png_uint_32>(ink.height), 8,
               PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, 15748, 15748, PNG_RESOLUTION_METER);
  png_write_info(png, info);
  std::fprintf(pgm_file, "P5\n%d %d\n255\n", ink.width, ink.height);
  scan_rows(ink, [&](std::int32_t, const std::vector<std::uint8_t>& levels) {
    png_write_row(png, levels.data());
    std::fwrite(levels.data(), 1, levels.size(), pgm_file);
  });
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(png_file) == 0 && std::fclose(pgm_file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = (std::filesystem::temp_directory_path() / "vp-scan-bench").string();
  int runs = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--folder" && i + 1 < argc)
      folder = argv[++i];
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--keep")
      keep = true;
    else {
      std::fprintf(stderr, "usage: scan_bench [--folder DIR] [--runs N] [--keep]\n");
      return 64;
    }
  }
  std::filesystem::create_directories(folder);
  const std::string png = folder + "/a1-400dpi-grey.png", pgm = folder + "/a1-400dpi-grey.pgm";
  auto start = Clock::now();
  const vp::InkImage drawing = vp::generate_drawing(13244, 9362, 2026);
  if (!write_scans(drawing, png, pgm)) {
    std::fprintf(stderr, "cannot write the scan in %s\n", folder.c_str());
    return 1;
  }
  std::printf("# A1 400 dpi grey scan (13244 x 9362, ink %.2f%%) written in %.1f s: %s (%.1f MiB)\n",
              drawing.coverage() * 100, std::chrono::duration<double>(Clock::now() - start).count(), png.c_str(),
              static_cast<double>(std::filesystem::file_size(png)) / 1048576.0);

  const ChildRun ours = best_of(
      runs, {VP_CONVERTER_PATH, png, "-o", folder + "/ours.dxf", "--threshold", "auto", "--despeckle", "8", "--quiet"});
  // The same conversion without naming the rule: the first rows' levels choose auto.
  const ChildRun plain =
      best_of(runs, {VP_CONVERTER_PATH, png, "-o", folder + "/plain.dxf", "--despeckle", "8", "--quiet"});
  std::printf("vpconvert --threshold auto --despeckle 8 -> DXF: %.3f s (cpu %.3f s), peak %.1f MiB%s\n", ours.seconds,
              ours.cpu_seconds, ours.peak_mib, ours.ok ? "" : " (failed)");
  std::printf(
      "vpconvert --despeckle 8, rule by format (auto, from the first rows' levels): %.3f s (cpu %.3f s), "
      "peak %.1f MiB\n",
      plain.seconds, plain.cpu_seconds, plain.peak_mib);
  if (std::system("command -v mkbitmap >/dev/null 2>&1 && command -v potrace >/dev/null 2>&1") == 0) {
    const ChildRun mkbitmap = best_of(runs, {"mkbitmap", pgm, "-o", folder + "/scan.pbm"});
    const ChildRun potrace =
        best_of(runs, {"potrace", "-b", "dxf", folder + "/scan.pbm", "-o", folder + "/theirs.dxf"});
    const double theirs = mkbitmap.seconds + potrace.seconds;
    const double theirs_cpu = mkbitmap.cpu_seconds + potrace.cpu_seconds;
    std::printf(
        "mkbitmap: %.3f s (cpu %.3f s), peak %.1f MiB; potrace -b dxf: %.3f s (cpu %.3f s), peak %.1f MiB; "
        "together %.3f s (cpu %.3f s)\n",
        mkbitmap.seconds, mkbitmap.cpu_seconds, mkbitmap.peak_mib, potrace.seconds, potrace.cpu_seconds,
        potrace.peak_mib, theirs, theirs_cpu);
    std::printf("ratio %.2f wall, %.2f cpu (target at most 0.30); our peak %.1f MiB (target at most 128)\n",
                ours.seconds / theirs, ours.cpu_seconds / theirs_cpu, ours.peak_mib);
  } else {
    std::printf("# mkbitmap and potrace not found (Debian package potrace): no side-by-side run\n");
  }
  if (!keep) {
    for (const char* name :
         {"/a1-400dpi-grey.png", "/a1-400dpi-grey.pgm", "/scan.pbm", "/ours.dxf", "/plain.dxf", "/theirs.dxf"})
      std::filesystem::remove(folder + name);
  }
  return 0;
}
