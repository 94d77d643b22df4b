// Times saving a large segment table in each format and measures how much the
// peak resident memory grows while doing it: the writers stream, so the growth
// should stay small whatever the table's size.
//
//   save_bench [--records N] [--folder DIR] [--keep]
//
// The table (default 1,000,000 records, as many as an A1 sheet at 400 dpi
// gives) is built once; each format is then saved in a child process of its
// own, so that each peak is measured from the same starting point. Reported per
// format: seconds, file size and the growth of the peak resident size
// (getrusage's ru_maxrss in the child after the save, less its value before).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "export/dxf_header.h"
#include "export/save_file.h"
#include "vector/line_data.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class QuietHost : public vp::SaveHost {
 public:
  void show_message(std::string_view text) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
  void begin_saving() override {}
  void set_saving_bar(int) override {}
  void process_events() override {}
  void end_saving() override {}
};

long peak_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;  // KiB on Linux
}

// Horizontal, vertical and oblique segments of many lengths over an A1 sheet.
bool build_table(vp::LineData& lines, std::int32_t count) {
  if (!lines.reset_storage()) return false;
  std::mt19937 gen(12345);
  std::uniform_int_distribution<std::int32_t> x(0, 13244), y(0, 9362), len(1, 800);
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t x1 = x(gen), y1 = y(gen), d = len(gen);
    bool stored = false;
    switch (i % 4) {
      case 0:
        stored = lines.add(x1, y1, x1 + d, y1);
        break;
      case 1:
        stored = lines.add(x1, y1, x1, y1 + d);
        break;
      case 2:
        stored = lines.add(x1, y1, x1 + d, y1 + d);
        break;
      default:
        stored = lines.add(x1, y1, x1 + d, y1 - d / 2);
        break;
    }
    if (!stored) return false;
  }
  return true;
}

struct Result {
  int ok = 0;
  double seconds = 0;
  long growth_kib = 0;
  long long bytes = 0;
};

// Runs one save in a child process; its figures come back through a pipe.
Result in_child(const std::function<vp::SaveResult()>& save, const fs::path& file) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    Result r;
    const long before = peak_kib();
    const auto start = Clock::now();
    const vp::SaveResult saved = save();
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.growth_kib = peak_kib() - before;
    r.ok = saved.written() ? 1 : 0;
    std::error_code ec;
    r.bytes = static_cast<long long>(fs::file_size(file, ec));
    const ssize_t put = write(fds[1], &r, sizeof r);
    _exit(put == static_cast<ssize_t>(sizeof r) ? 0 : 1);
  }
  close(fds[1]);
  Result r;
  const ssize_t got = read(fds[0], &r, sizeof r);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got != static_cast<ssize_t>(sizeof r)) return {};
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  std::int32_t count = 1000000;
  fs::path folder = fs::temp_directory_path() / "vp_save_bench";
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--records" && i + 1 < argc) {
      count = static_cast<std::int32_t>(std::strtol(argv[++i], nullptr, 10));
    } else if (arg == "--folder" && i + 1 < argc) {
      folder = argv[++i];
    } else if (arg == "--keep") {
      keep = true;
    } else {
      std::fprintf(stderr, "usage: save_bench [--records N] [--folder DIR] [--keep]\n");
      return 64;
    }
  }
  fs::create_directories(folder);

  vp::LineData lines;
  if (count < 0 || !build_table(lines, count)) {
    std::fprintf(stderr, "cannot build a table of %d records\n", count);
    return 1;
  }
  const std::span<const vp::LineRecord> records = lines.records();
  std::printf("%d records (%.1f MiB of table), peak resident size before saving: %.1f MiB\n", count,
              static_cast<double>(records.size_bytes()) / (1024.0 * 1024.0), static_cast<double>(peak_kib()) / 1024.0);

  QuietHost host;
  const float rate = 6.35f;  // 1/100 at 400 dpi
  vp::DxfHeaderTemplate header({"  0", "SECTION", "  2", "ENTITIES"});
  vp::ExportOptions plain;
  plain.dxf_header = header.bytes();
  vp::ExportOptions layered = plain;
  layered.dxf_layers = {true, true, 100};
  const auto save_as = [&](std::string_view format, const vp::ExportOptions& options) {
    return [&, format](const fs::path& p) {
      for (const vp::ExportFormat& f : vp::export_formats())
        if (f.name == format) return vp::save_file(f, p, records, rate, options, host);
      return vp::SaveResult{vp::SaveFailure::Create, {}};
    };
  };
  struct Format {
    const char* name;
    fs::path file;
    std::function<vp::SaveResult(const fs::path&)> save;
  };
  const std::vector<Format> formats = {
      {"txt", folder / "bench.txt", save_as("text", plain)},
      {"dxf", folder / "bench.dxf", save_as("dxf", plain)},
      {"dxf split+short", folder / "bench_layers.dxf", save_as("dxf", layered)},
      {"jwc", folder / "bench.jwc", save_as("jwc", plain)},
  };
  std::printf("%-16s %10s %12s %18s\n", "format", "seconds", "MiB written", "peak growth MiB");
  int failures = 0;
  for (const Format& f : formats) {
    const Result r = in_child([&] { return f.save(f.file); }, f.file);
    if (!r.ok) {
      std::printf("%-16s failed\n", f.name);
      ++failures;
      continue;
    }
    std::printf("%-16s %10.3f %12.1f %18.2f\n", f.name, r.seconds, static_cast<double>(r.bytes) / (1024.0 * 1024.0),
                static_cast<double>(r.growth_kib) / 1024.0);
    if (!keep) {
      std::error_code ignored;
      fs::remove(f.file, ignored);
    }
  }
  return failures == 0 ? 0 : 1;
}
