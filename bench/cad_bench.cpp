// What --cad costs: the A1 400 dpi benchmark drawing converted to DXF plainly and
// with --cad, by the converter as a child process (wall time, CPU time, peak
// memory, best of N); then the fitting stage alone, in process, on the same
// thinned grid, and on a generated sheet of known geometry. With --a0-ink, also
// the dense A0 sheet pdf_bench leaves with --keep (19866 x 28087, 3000 long
// strokes crossing about a million times): --cad there should cost a small
// multiple of the plain conversion, in time and memory alike.
//
//   cad_bench [--folder DIR] [--runs N] [--a0-ink FILE]
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
  std::string a0_ink;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--folder") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--a0-ink") == 0 && i + 1 < argc) {
      a0_ink = argv[++i];
    } else {
      std::fprintf(stderr, "usage: cad_bench [--folder DIR] [--runs N] [--a0-ink FILE]\n");
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
  if (!a0_ink.empty()) {  // once each: a run takes seconds
    const vp::bench::ChildRun ap = vp::bench::best_of(1, {VP_CONVERTER_PATH, a0_ink, "-o", out, "--quiet"});
    const vp::bench::ChildRun ac = vp::bench::best_of(1, {VP_CONVERTER_PATH, a0_ink, "-o", out, "--quiet", "--cad"});
    std::printf("%-26s %9.3f %9.3f %9.1f%s\n", "A0 dense, plain", ap.seconds, ap.cpu_seconds, ap.peak_mib,
                ap.ok ? "" : " (failed)");
    std::printf("%-26s %9.3f %9.3f %9.1f%s\n", "A0 dense, --cad", ac.seconds, ac.cpu_seconds, ac.peak_mib,
                ac.ok ? "" : " (failed)");
  }
  std::filesystem::remove(out);
  time_stage("A1 400 dpi", a1, 3);
  const vp::CadSheet flange = vp::make_cad_sheet(vp::SheetKind::Flange, 1, 4, 0.8);
  time_stage("flange sheet, 1400 x 1000", flange.ink, 2);
  return 0;
}
