// What --cad costs: the A1 400 dpi benchmark drawing converted to DXF plainly and
// with --cad, by the converter as a child process (wall time, CPU time, peak
// memory, best of N); then the fitting stage alone, in process, on the same
// thinned grid, and on a generated sheet of known geometry.
//
//   cad_bench [--folder DIR] [--runs N]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/child_run.h"
#include "cad/cad_stage.h"
#include "raster/thinning.h"
#include "testkit/bmp_writer.h"
#include "testkit/cad_sheets.h"
#include "testkit/synthetic_drawing.h"

namespace {

using Clock = std::chrono::steady_clock;
double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The stage alone, on the image's grid thinned with `passes`.
void time_stage(const char* name, const vp::InkImage& image, std::int32_t passes) {
  vp::PixelGrid grid;
  if (!grid.reset(image.width, image.height)) return;
  for (std::int32_t r = 0; r < image.height; ++r) grid.set_image_row(r, image.row(r));
  const vp::cad::InkCopy before = vp::cad::InkCopy::of(grid);
  vp::NoProgress quiet;
  vp::run_thinning(grid, passes, quiet);
  vp::cad::CadParams params;
  params.ink = &before;
  vp::cad::CadDrawing drawing;
  const auto start = Clock::now();
  vp::cad::build_cad_drawing(grid, params, drawing, quiet);
  std::printf("# %s: the fitting stage alone %.3f s: %zu lines, %zu arcs, %zu circles, skew %.3f°\n", name,
              seconds_since(start), drawing.lines.size(), drawing.arcs.size(), drawing.circles.size(),
              drawing.skew_degrees);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder = std::filesystem::temp_directory_path().string();
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: cad_bench [--folder DIR] [--runs N]\n");
      return 2;
    }
  }
  const vp::InkImage a1 = vp::generate_drawing(13244, 9362, 2026);
  const std::string path = folder + "/cad-bench-a1-400dpi.bmp";
  vp::BmpWriteOptions options;
  options.dpi = 400;
  if (!vp::write_bmp_file(path, a1, options)) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return 1;
  }
  const std::string out = folder + "/cad-bench-out.dxf";
  const std::vector<std::string> plain = {VP_CONVERTER_PATH, path, "-o", out, "--passes", "3", "--quiet"};
  std::vector<std::string> cad = plain;
  cad.push_back("--cad");
  const vp::bench::ChildRun p = vp::bench::best_of(runs, plain);
  const vp::bench::ChildRun c = vp::bench::best_of(runs, cad);
  std::printf("%-26s %9s %9s %9s\n", "A1 400 dpi, 1-bit, to DXF", "wall s", "cpu s", "peak MiB");
  std::printf("%-26s %9.3f %9.3f %9.1f%s\n", "plain", p.seconds, p.cpu_seconds, p.peak_mib, p.ok ? "" : " (failed)");
  std::printf("%-26s %9.3f %9.3f %9.1f%s\n", "--cad", c.seconds, c.cpu_seconds, c.peak_mib, c.ok ? "" : " (failed)");
  std::printf("# --cad against plain: time %+.0f%% (limit +50%%), peak %+.1f MiB (limit +64 MiB)\n",
              (c.seconds / p.seconds - 1) * 100, c.peak_mib - p.peak_mib);
  std::filesystem::remove(path);
  std::filesystem::remove(out);
  time_stage("A1 400 dpi", a1, 3);
  const vp::CadSheet flange = vp::make_cad_sheet(vp::SheetKind::Flange, 1, 4, 0.8);
  time_stage("flange sheet, 1400 x 1000", flange.ink, 2);
  return 0;
}
