#include "cli/batch.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/file_roles.h"
#include "cli/page_files.h"
#include "cli/single_conversion.h"
#include "cli/system.h"
#include "cli/terminal_host.h"
#include "core/messages.h"
#include "core/outcome.h"
#include "imageio/image_formats.h"
#include "raster/memory_budget.h"
#include "raster/pixel_grid.h"
#include "raster/thread_start.h"
#include "raster/upright_grid.h"
#include "raster/utf8_path.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

struct FileResult {
  int status = 0;
  std::int32_t segments = 0;
  double seconds = 0;
  std::string messages;  // what the conversion said (notes first), on one line
};

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// {"a", "b\n\rc"} -> "a / b / c": every line of every message, as the terminal shows them.
std::string one_line(const std::vector<std::string>& messages) {
  std::string joined;
  for (const std::string& message : messages) {
    std::istringstream in(message);
    std::string line;
    while (std::getline(in, line)) {
      std::erase(line, '\r');
      if (line.empty()) continue;
      if (!joined.empty()) joined += " / ";
      joined += line;
    }
  }
  return joined;
}

// What one conversion is reckoned to take beside its grid: buffers, segments, the
// thread's share of the allocator.
constexpr std::uint64_t kConversionOverhead = std::uint64_t{16} << 20;
// The address space a worker thread reserves under a limit (ulimit -v): its stack
// and the allocator's arena for it (64 MiB with glibc), whether used or not.
constexpr std::uint64_t kThreadReservation = std::uint64_t{72} << 20;

// The memory converting `input` needs, from its header: the grid and the tracing's
// copy of it, as the grid's own check reckons, and the overhead. A file that cannot
// be opened needs little: it fails at once.
std::uint64_t conversion_need(const std::string& input) {
  const OpenedImage image = open_any_image(input);
  if (image.status != ImageStatus::Ok) return kConversionOverhead;
  const ImageInfo& info = image.reader->info();
  const GridLayout layout = grid_layout_for(info.orientation, info.width, info.height);
  return PixelGrid::bytes_needed(info.width, info.height, layout) / 2 * 3 + kConversionOverhead;
}

// Conversions run only while their needs together fit the memory the batch found
// at its start, so that many jobs never make files fail that fewer would convert;
// one runs whatever it needs, and fails or not as it would alone.
class MemoryGate {
 public:
  explicit MemoryGate(std::optional<std::uint64_t> budget) : budget_(budget) {}

  void enter(std::uint64_t need) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return running_ == 0 || !budget_ || in_use_ + need <= *budget_; });
    ++running_;
    in_use_ += need;
  }
  void leave(std::uint64_t need) {
    {
      const std::lock_guard lock(mutex_);
      --running_;
      in_use_ -= need;
    }
    room_.notify_all();
  }

 private:
  std::optional<std::uint64_t> budget_;
  std::mutex mutex_;
  std::condition_variable room_;
  std::uint64_t in_use_ = 0;
  int running_ = 0;
};

std::string seconds_text(double seconds) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f s", seconds);
  return buffer;
}

}  // namespace

std::string batch_output_path(const Options& options, const std::string& input) {
  const fs::path name = path_from_utf8(input).filename().replace_extension("." + lower(options.to));
  return path_to_utf8(path_from_utf8(options.out_dir) / name);
}

int run_batch(const Options& options, std::ostream& out, std::ostream& err) {
  // Every page of a file of several is converted, each to a file of its own.
  const std::vector<PagedInput> pages = paged_inputs(options);
  const bool several_pages = pages.size() > options.inputs.size();
  const std::size_t count = pages.size();
  std::vector<std::string> outputs;
  std::map<std::string, std::string> taken;  // output -> the input that writes it
  for (const PagedInput& page : pages) {
    const std::string input = page.label();
    outputs.push_back(paged_output_path(options, page));
    const auto [at, fresh] =
        taken.emplace(path_to_utf8(fs::absolute(path_from_utf8(outputs.back())).lexically_normal()), input);
    if (!fresh) {
      err << "vpconvert: " << at->second << " and " << input << " would both write " << outputs.back()
          << "\n(vpconvert --help lists the options)\n";
      return kExitUsage;
    }
  }
  // No output may be an input, another's output or the DXF header template.
  std::vector<NamedFile> reads, writes;
  for (std::size_t i = 0; i < count; ++i) {
    reads.push_back({"the input " + pages[i].input, pages[i].input});
    writes.push_back({"the output of " + pages[i].label(), outputs[i]});
  }
  if (!options.dxf_header.empty() && options.format->uses_dxf_header)
    reads.push_back({"--dxf-header", options.dxf_header});
  if (const std::string clash = clashing_files(reads, writes); !clash.empty()) {
    err << "vpconvert: " << clash << "\n(vpconvert --help lists the options)\n";
    return kExitUsage;
  }
  std::error_code ignored;
  fs::create_directories(options.out_dir, ignored);  // a folder that cannot be made fails each file's save

  unsigned jobs = static_cast<unsigned>(
      std::min<std::size_t>(count, options.jobs > 0 ? static_cast<unsigned>(options.jobs)
                                                    : std::max(1u, std::thread::hardware_concurrency())));
  // Under an address-space limit every worker costs its reservation whether it
  // converts or waits: no more of them than leave room for a small conversion each.
  std::optional<std::uint64_t> budget = available_memory_bytes();
  if (const auto room = address_space_room()) {
    jobs =
        static_cast<unsigned>(std::clamp<std::uint64_t>(*room / (kThreadReservation + kConversionOverhead), 1, jobs));
    const std::uint64_t reserved = std::uint64_t{jobs} * kThreadReservation;
    const std::uint64_t left = *room > reserved ? *room - reserved : 0;
    budget = budget ? std::min(*budget, left) : left;
  }
  MemoryGate gate(budget);
  std::vector<FileResult> results(count);
  std::vector<bool> finished(count, false);
  std::mutex mutex;
  std::condition_variable progress;
  std::size_t next = 0;

  InterruptGuard interrupts;  // one Ctrl-C aborts every conversion of the batch
  auto work = [&] {
    for (;;) {
      std::size_t i;
      {
        const std::lock_guard lock(mutex);
        if (next == count) return;
        i = next++;
      }
      FileResult result;
      const auto start = std::chrono::steady_clock::now();
      try {
        Options single = options;
        single.input = pages[i].input;
        single.page = pages[i].page;
        single.output = outputs[i];
        single.quiet = true;
        std::ostringstream file_out, file_err;
        FileReport report;
        const std::uint64_t need = conversion_need(single.input);
        gate.enter(need);
        try {
          result.status = convert_file(single, file_out, file_err, false, &report);
        } catch (...) {
          gate.leave(need);
          throw;
        }
        gate.leave(need);
        result.segments = report.segments;
        report.notes.insert(report.notes.end(), report.messages.begin(), report.messages.end());
        result.messages = one_line(report.notes);
      } catch (const std::bad_alloc&) {
        // Not even room to run the file: it ends as out of memory, and the batch goes on.
        const OutcomeText& text = outcome_text(Outcome::OutOfMemory);
        result.status = text.code;
        try {
          result.messages = one_line({std::string(text.message)});
        } catch (const std::bad_alloc&) {
          result.messages.clear();  // the status says it
        }
      }
      result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      {
        const std::lock_guard lock(mutex);
        results[i] = std::move(result);
        finished[i] = true;
      }
      progress.notify_all();
    }
  };
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> workers;
  for (unsigned j = 0; j < jobs; ++j) {
    std::thread worker = try_start_thread(work);
    if (!worker.joinable()) break;  // the system gives no more: those started share the files
    workers.push_back(std::move(worker));
  }
  if (workers.empty()) work();  // not even one: this thread converts every file first
  const std::size_t job_count = std::max<std::size_t>(workers.size(), 1);

  // Report in the order given, each file as soon as it and those before it are done.
  int worst = kExitWritten;
  std::size_t written = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_lock lock(mutex);
    progress.wait(lock, [&] { return finished[i]; });
    const FileResult& r = results[i];
    lock.unlock();
    worst = std::max(worst, r.status);
    if (r.status == kExitWritten) ++written;
    if (options.quiet) {
      // As a quiet single conversion: no count, but what went wrong or what to try still on `err`.
      if (r.status != kExitWritten) {
        err << pages[i].label() << ": " << r.messages << " (exit " << r.status << ")\n";
      } else if (!r.messages.empty()) {
        err << pages[i].label() << ": " << r.messages << '\n';
      }
      err.flush();
    } else if (r.status == kExitWritten) {
      out << pages[i].label() << " -> " << outputs[i] << ": " << r.segments << messages::kLinesSuffix << ' '
          << seconds_text(r.seconds) << (r.messages.empty() ? "" : " / ") << r.messages << '\n';
    } else {
      out << pages[i].label() << ": " << r.messages << " (exit " << r.status << ") " << seconds_text(r.seconds) << '\n';
    }
    out.flush();
  }
  for (std::thread& worker : workers) worker.join();
  if (options.quiet) return worst;
  const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  out << count << (several_pages ? " pages: " : " files: ") << written << " written, " << count - written
      << " not written, " << seconds_text(total) << " with " << job_count << (job_count == 1 ? " job" : " jobs")
      << '\n';
  return worst;
}

}  // namespace vp::cli
