// Times a whole conversion on synthetic scanned drawings, phase by phase, and the
// converter side by side with potrace (the outline tracer a user would otherwise
// pick) on the same 1-bit file.
//
//   conversion_bench [--folder DIR] [--sizes a4,a1] [--runs N] [--no-potrace]
//
// Drawings: A4 at 300 dpi (2480 x 3508) and A1 at 400 dpi (13244 x 9362), written as
// 1-, 8- and 24-bit BMPs. For each file: in-process times of loading, thinning
// (3 passes) and tracing; then the converter program (to coordinate text) as a
// child process, wall time and peak resident memory, best of N runs.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "core/conversion_host.h"
#include "imageio/bmp_reader.h"
#include "raster/thinning.h"
#include "testkit/bmp_writer.h"
#include "testkit/synthetic_drawing.h"
#include "vector/run_tracer.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

using vp::bench::best_of;
using vp::bench::ChildRun;

struct PhaseTimes {
  double load = 0, thin = 0, trace = 0;
  std::int32_t segments = 0;
};

PhaseTimes time_phases(const std::string& path) {
  PhaseTimes t;
  auto start = Clock::now();
  vp::BmpReader reader;
  if (reader.open(path) != vp::BmpStatus::Ok) return t;
  vp::PixelGrid grid;
  if (!grid.reset(reader.info().width, reader.info().height)) return t;
  reader.read_rows([&](std::int32_t r, std::span<const std::uint64_t> ink) {
    grid.set_image_row(r, ink);
    return true;
  });
  t.load = seconds_since(start);
  vp::NoProgress quiet;
  start = Clock::now();
  vp::run_thinning(grid, 3, quiet, vp::ThinningOptions{});  // as many threads as the converter uses
  t.thin = seconds_since(start);
  vp::LineData lines;
  lines.reset_storage();
  start = Clock::now();
  vp::run_tracing(grid, lines, quiet);
  t.trace = seconds_since(start);
  t.segments = lines.size();
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = (std::filesystem::temp_directory_path() / "vp-bench").string();
  std::string sizes = "a4,a1";
  int runs = 3;
  bool with_potrace = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--folder" && i + 1 < argc)
      folder = argv[++i];
    else if (arg == "--sizes" && i + 1 < argc)
      sizes = argv[++i];
    else if (arg == "--runs" && i + 1 < argc)
      runs = std::max(1, std::atoi(argv[++i]));
    else if (arg == "--no-potrace")
      with_potrace = false;
    else {
      std::fprintf(stderr, "usage: conversion_bench [--folder DIR] [--sizes a4,a1] [--runs N] [--no-potrace]\n");
      return 64;
    }
  }
  std::filesystem::create_directories(folder);
  const bool potrace_found = with_potrace && std::system("command -v potrace >/dev/null 2>&1") == 0;

  struct Sheet {
    const char* name;
    std::int32_t width, height;
    double dpi;
  };
  std::vector<Sheet> sheets;
  if (sizes.find("a4") != std::string::npos) sheets.push_back({"a4-300dpi", 2480, 3508, 300});
  if (sizes.find("a1") != std::string::npos) sheets.push_back({"a1-400dpi", 13244, 9362, 400});

  std::printf("%-22s %8s %8s %8s %9s %9s %10s %10s %10s\n", "file", "load s", "thin s", "trace s", "segments",
              "convert s", "peak MiB", "grid MiB", "limit MiB");
  for (const Sheet& sheet : sheets) {
    const auto start = Clock::now();
    const vp::InkImage image = vp::generate_drawing(sheet.width, sheet.height, 2026);
    std::printf("# %s: generated in %.2f s, ink %.2f%%\n", sheet.name, seconds_since(start), image.coverage() * 100);
    const double grid_mib = static_cast<double>(vp::PixelGrid::bytes_needed(sheet.width, sheet.height)) / 1048576.0;
    std::string one_bit_path;
    for (int bits : {1, 8, 24}) {
      const std::string path = folder + "/" + sheet.name + "-" + std::to_string(bits) + "bit.bmp";
      if (bits == 1) one_bit_path = path;
      vp::BmpWriteOptions options;
      options.bits_per_pixel = bits;
      options.dpi = sheet.dpi;
      if (!vp::write_bmp_file(path, image, options)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
      }
      const PhaseTimes phases = time_phases(path);
      const ChildRun convert =
          best_of(runs, {VP_CONVERTER_PATH, path, "-o", folder + "/out.txt", "--passes", "3", "--quiet"});
      std::printf("%-22s %8.3f %8.3f %8.3f %9d %9.3f %10.1f %10.1f %10.1f%s\n",
                  std::filesystem::path(path).filename().c_str(), phases.load, phases.thin, phases.trace,
                  phases.segments, convert.seconds, convert.peak_mib, grid_mib, grid_mib + 64,
                  convert.ok ? "" : "  (converter failed)");
      std::filesystem::remove(path == one_bit_path ? std::string() : path);
    }
    if (potrace_found) {
      const ChildRun potrace = best_of(runs, {"potrace", "-b", "dxf", one_bit_path, "-o", folder + "/out.dxf"});
      const ChildRun ours = best_of(runs, {VP_CONVERTER_PATH, one_bit_path, "-o", folder + "/out.txt", "--quiet"});
      std::printf("# %s 1-bit: potrace -b dxf %.3f s, peak %.1f MiB; vpconvert %.3f s, peak %.1f MiB; ratio %.2f\n",
                  sheet.name, potrace.seconds, potrace.peak_mib, ours.seconds, ours.peak_mib,
                  ours.seconds / potrace.seconds);
    }
    std::filesystem::remove(one_bit_path);
  }
  return 0;
}
