// Special mode (end points, crossings, merging) on traced tables of growing size,
// and the long differential run against the literal phases.
//
//   special_bench [--sizes 1e4,1e5,1e6,a1,stair | --sheet WxH] [--literal-up-to S] [--tolerance X]
//   special_bench --tables N [--from K]
//
// Timing: each table is what thinning (3 passes) and run tracing make of a
// generated drawing: A1 at 400 dpi (13244 x 9362, the engine benchmark's drawing),
// or a sheet of the same proportions that gives about 10^4,
// 10^5 or 10^6 segments; "stair" is one staircase of 10^6 segments that merges into
// a single chain. Each size runs in a child process, so that its peak
// memory is its own: the peak resident set during special mode, and above the
// table alone (measured from the start of special mode). Tables up to
// --literal-up-to segments (default 10^4) are also merged by the literal phases,
// which must agree.
//
// --tables N: the differential comparison of the test suite on generated tables
// K .. K + N - 1 (K = --from, default 10^6, past the suite's first 10^4).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "raster/pixel_grid.h"
#include "raster/thinning.h"
#include "support/reference_special.h"
#include "support/special_tables.h"
#include "testkit/synthetic_drawing.h"
#include "vector/junctions.h"
#include "vector/line_merger.h"
#include "vector/run_tracer.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A value of /proc/self/status in KiB (VmRSS, VmHWM), or -1.
long status_kib(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(key);
  while (std::getline(in, line))
    if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
  return -1;
}

// Restarts the peak resident set (VmHWM) from the current one.
bool reset_peak() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

double mib(long kib) { return static_cast<double>(kib) / 1024.0; }

struct Sheet {
  std::string name;
  std::int32_t width, height;
};

// One digital line of slope 1/3 as run tracing records it, a million segments
// long: a single chain for the merging to follow from end to end.
vp::LineData staircase_table() {
  vp::LineData lines;
  lines.reset_storage();
  constexpr std::int32_t kSteps = 500000;
  for (std::int32_t i = 0; i < kSteps; ++i) lines.add(3 * i + 1, i + 1, 3 * i + 3, i + 1);      // horizontal runs
  for (std::int32_t i = 0; i + 1 < kSteps; ++i) lines.add(3 * i + 3, i + 1, 3 * i + 4, i + 2);  // diagonal links
  return lines;
}

vp::LineData traced_table(const Sheet& sheet, double& seconds) {
  const auto start = Clock::now();
  vp::LineData lines;
  if (sheet.width == 0) {
    lines = staircase_table();
    seconds = seconds_since(start);
    return lines;
  }
  {
    const vp::InkImage image = vp::generate_drawing(sheet.width, sheet.height, 2026);
    vp::PixelGrid grid;
    if (!grid.reset(sheet.width, sheet.height)) return lines;
    for (std::int32_t r = 0; r < sheet.height; ++r) grid.set_image_row(r, image.row(r));
    vp::NoProgress quiet;
    vp::run_thinning(grid, 3, quiet, vp::ThinningOptions{});
    lines.reset_storage();
    vp::run_tracing(grid, lines, quiet);
  }
  seconds = seconds_since(start);
  return lines;
}

int time_sheet(const Sheet& sheet, float tolerance, std::int32_t literal_up_to) {
  double traced_s = 0;
  vp::LineData lines = traced_table(sheet, traced_s);
  const std::int32_t s = lines.size();
  std::vector<vp::LineRecord> original;
  if (s <= literal_up_to) original.assign(lines.first(s).begin(), lines.first(s).end());

  const bool peak_reset = reset_peak();
  const long rss_before = status_kib("VmRSS");
  vp::NoProgress quiet;  // shows nothing: the timing is the phases' own
  vp::SpecialState state;
  vp::LineData new_lines;
  new_lines.reset_storage();
  auto start = Clock::now();
  vp::GetTopZahyou(lines, state, quiet);
  const double top_s = seconds_since(start);
  start = Clock::now();
  vp::GetCrossZahyou(lines, state, quiet);
  const double cross_s = seconds_since(start);
  start = Clock::now();
  vp::GetNewLines(lines, new_lines, state, tolerance, quiet);
  const double merge_s = seconds_since(start);
  start = Clock::now();
  vp::DataConvert(lines, new_lines);
  const double convert_s = seconds_since(start);
  const long peak = status_kib("VmHWM");
  const std::int32_t merged = lines.size();

  std::string literal_note = "-";
  if (!original.empty() || s == 0) {
    vp::NoProgress literal_quiet;
    start = Clock::now();
    vp::reference::LiteralSpecialMode literal(original, tolerance, literal_quiet);
    literal.GetTopZahyou();
    literal.GetCrossZahyou();
    literal.GetNewLines();
    literal.DataConvert();
    const double literal_s = seconds_since(start);
    const auto fast_lines = lines.first(merged);
    const bool agree = literal.table() == std::vector<vp::LineRecord>(fast_lines.begin(), fast_lines.end()) &&
                       literal.top_points() == state.TopPoints && literal.cross_points() == state.CrossPoints;
    char note[64];
    std::snprintf(note, sizeof note, "%.2f s (%s)", literal_s, agree ? "same" : "DIFFERENT");
    literal_note = note;
  }
  std::printf("%-8s %11d %8d %8d %9d %7.2f %7.3f %7.3f %7.3f %7.3f %9.1f %9.1f  %s\n", sheet.name.c_str(), s,
              static_cast<int>(state.TopPoints.size()), static_cast<int>(state.CrossPoints.size()), merged, traced_s,
              top_s, cross_s, merge_s, top_s + cross_s + merge_s + convert_s, peak_reset ? mib(peak) : -1.0,
              peak_reset ? mib(peak - rss_before) : -1.0, literal_note.c_str());
  std::fflush(stdout);
  return 0;
}

int run_in_child(const Sheet& sheet, float tolerance, std::int32_t literal_up_to) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(time_sheet(sheet, tolerance, literal_up_to));
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int differential(std::uint64_t from, std::uint64_t tables) {
  const auto start = Clock::now();
  std::int64_t segments = 0, lines = 0;
  std::map<std::string, int> kinds;
  int failures = 0;
  for (std::uint64_t n = from; n < from + tables; ++n) {
    const vp::testing::SpecialTable table = vp::testing::generated_special_table(n);
    const vp::testing::SpecialOutcome fast = vp::testing::run_fast_special(table);
    const vp::testing::SpecialOutcome literal = vp::testing::run_literal_special(table);
    const std::string difference = vp::testing::first_difference(fast, literal);
    if (!difference.empty()) {
      std::printf("table %llu (%s, tolerance %g): %s\n%s\n", static_cast<unsigned long long>(n), table.kind.c_str(),
                  static_cast<double>(table.tolerance), vp::testing::to_string(table.records).c_str(),
                  difference.c_str());
      if (++failures == 10) break;
    }
    segments += static_cast<std::int64_t>(table.records.size());
    lines += static_cast<std::int64_t>(literal.new_lines.size());
    ++kinds[table.kind];
    if ((n - from + 1) % 100000 == 0) {
      std::printf("# %llu tables, %.0f s\n", static_cast<unsigned long long>(n - from + 1), seconds_since(start));
      std::fflush(stdout);
    }
  }
  std::printf("%llu tables (from %llu), %lld segments merged into %lld lines, %d differing, %.1f s\n",
              static_cast<unsigned long long>(tables), static_cast<unsigned long long>(from),
              static_cast<long long>(segments), static_cast<long long>(lines), failures, seconds_since(start));
  for (const auto& [kind, count] : kinds) std::printf("  %-36s %d\n", kind.c_str(), count);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sizes = "1e4,1e5,1e6,a1";
  std::int32_t literal_up_to = 10000;
  float tolerance = 2.0f;
  long long tables = -1, from = 1000000;
  std::string sheet_arg;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--sizes" && i + 1 < argc)
      sizes = argv[++i];
    else if (arg == "--literal-up-to" && i + 1 < argc)
      literal_up_to = std::atoi(argv[++i]);
    else if (arg == "--tolerance" && i + 1 < argc)
      tolerance = std::strtof(argv[++i], nullptr);
    else if (arg == "--tables" && i + 1 < argc)
      tables = std::atoll(argv[++i]);
    else if (arg == "--from" && i + 1 < argc)
      from = std::atoll(argv[++i]);
    else if (arg == "--sheet" && i + 1 < argc)
      sheet_arg = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: special_bench [--sizes 1e4,1e5,1e6,a1,stair] [--literal-up-to S] [--tolerance X]\n"
                   "       special_bench --tables N [--from K]\n");
      return 64;
    }
  }
  if (tables >= 0) return differential(static_cast<std::uint64_t>(from), static_cast<std::uint64_t>(tables));

  // Sheets of A1's proportions, sized (by measurement: the generator's content does
  // not grow smoothly with the sheet) to give about 10^4, 10^5 and 10^6 segments.
  std::vector<Sheet> sheets;
  auto wanted = [&](const char* key) {
    return ("," + sizes + ",").find(std::string(",") + key + ",") != std::string::npos;
  };
  if (wanted("1e4")) sheets.push_back(Sheet{"1e4", 2025, 1431});
  if (wanted("1e5")) sheets.push_back(Sheet{"1e5", 7000, 4950});
  if (wanted("1e6")) sheets.push_back(Sheet{"1e6", 29000, 20500});
  if (wanted("a1")) sheets.push_back(Sheet{"a1", 13244, 9362});
  if (wanted("stair")) sheets.push_back(Sheet{"stair", 0, 0});
  if (!sheet_arg.empty()) {
    int w = 0, h = 0;
    if (std::sscanf(sheet_arg.c_str(), "%dx%d", &w, &h) != 2 || w < 1 || h < 1) {
      std::fprintf(stderr, "--sheet wants WIDTHxHEIGHT\n");
      return 64;
    }
    sheets.assign(1, Sheet{sheet_arg, w, h});
  }

  std::printf("%-8s %11s %8s %8s %9s %7s %7s %7s %7s %7s %9s %9s  %s\n", "table", "segments", "ends", "crossing",
              "merged", "trace s", "top s", "cross s", "merge s", "total s", "peak MiB", "+MiB", "literal");
  for (const Sheet& sheet : sheets) {
    std::printf("# %s: %d x %d pixels\n", sheet.name.c_str(), sheet.width, sheet.height);
    if (run_in_child(sheet, tolerance, literal_up_to) != 0) return 1;
  }
  return 0;
}
