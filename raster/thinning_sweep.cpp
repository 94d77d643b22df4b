#include "raster/thinning_sweep.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <limits>
#include <thread>
#include <vector>

#include "raster/thinning_rows.h"
#include "raster/thread_start.h"

namespace vp {
namespace {

using thinning_rows::bevel_x_row;
using thinning_rows::bevel_y_row;
using thinning_rows::Originals;
using thinning_rows::set_ok_row;
using thinning_rows::Side;
using thinning_rows::Word;

enum class Kernel : std::uint8_t { Ok, RowsFirst, RowsSecond, ColumnsFirst, ColumnsSecond };

// A pass's steps as kernels on the stored rows; the ClearBevel scans only count.
std::vector<Kernel> pass_kernels(bool on_its_side) {
  const Kernel x1 = on_its_side ? Kernel::ColumnsFirst : Kernel::RowsFirst;
  const Kernel x2 = on_its_side ? Kernel::ColumnsSecond : Kernel::RowsSecond;
  const Kernel y1 = on_its_side ? Kernel::RowsFirst : Kernel::ColumnsFirst;
  const Kernel y2 = on_its_side ? Kernel::RowsSecond : Kernel::ColumnsSecond;
  return {Kernel::Ok, x1, Kernel::Ok, x2, Kernel::Ok, y1, Kernel::Ok, y2};
}

bool keeps_originals(Kernel kernel) { return kernel != Kernel::RowsFirst && kernel != Kernel::RowsSecond; }

// One step of the sweep, with the rows below its current one as they were before it.
class SweepStep {
 public:
  SweepStep(Kernel kernel, std::size_t words) : kernel_(kernel) {
    if (keeps_originals(kernel)) {
      previous_.resize(words);
      current_.resize(words);
    }
  }

  void run(PixelGrid& grid, std::int32_t y, bool first_row) {
    if (kernel_ == Kernel::RowsFirst) return bevel_x_row<Side::First>(grid, y);
    if (kernel_ == Kernel::RowsSecond) return bevel_x_row<Side::Second>(grid, y);
    const bool protect = kernel_ == Kernel::Ok;
    const auto row = [&](std::int32_t r) { return protect ? grid.protected_row(r) : grid.ink_row(r); };
    if (first_row) std::copy_n(row(y - 1), previous_.size(), previous_.begin());
    std::copy_n(row(y), current_.size(), current_.begin());
    const Originals originals{previous_.data(), current_.data(), row(y + 1)};
    if (kernel_ == Kernel::Ok) {
      if (grid.on_its_side())
        set_ok_row<GridLayout::OnItsSide>(grid, y, originals);
      else
        set_ok_row<GridLayout::Upright>(grid, y, originals);
    } else if (kernel_ == Kernel::ColumnsFirst) {
      if (y >= 2) bevel_y_row<Side::First>(grid, y, originals);  // the bottom row keeps its lower ends
    } else {
      bevel_y_row<Side::Second>(grid, y, originals);
    }
    previous_.swap(current_);
  }

 private:
  Kernel kernel_;
  std::vector<Word> previous_, current_;
};

// Step s works on row t - kLag * s at time t: it reads at most two rows above and
// below its own, so the step before it has always finished the rows it reads
// above, and the step after it has not yet touched the rows it reads below.
constexpr std::int64_t kLag = 3;
// Times between the threads' looks at each other, and the most one runs ahead.
constexpr std::int64_t kChunk = 128;
constexpr std::int64_t kMostAhead = 512;
constexpr std::int64_t kAllDone = std::numeric_limits<std::int64_t>::max();

class Sweep {
 public:
  Sweep(PixelGrid& grid, std::int32_t pass_count) : grid_(grid), first_(1), last_(grid.stored_height() - 2) {
    const std::vector<Kernel> pass = pass_kernels(grid.on_its_side());
    for (std::int32_t p = 0; p < pass_count; ++p)
      for (const Kernel kernel : pass) steps_.emplace_back(kernel, grid.words_per_row());
  }

  std::size_t steps() const { return steps_.size(); }
  std::int64_t row_steps() const { return last_ < first_ ? 0 : std::int64_t{last_ - first_ + 1} * std::ssize(steps_); }

  // Steps [from, to) at every time they have rows to work on; before each chunk of
  // times, `at_chunk(next time, rows done so far)` may wait and says whether to go on.
  template <class AtChunk>
  bool run(std::size_t from, std::size_t to, const AtChunk& at_chunk) {
    if (from >= to || last_ < first_) return true;
    const std::int64_t begin = first_ + kLag * static_cast<std::int64_t>(from);
    const std::int64_t end = last_ + kLag * static_cast<std::int64_t>(to - 1);
    std::int64_t done = 0;
    for (std::int64_t t = begin; t <= end; ++t) {
      if ((t - begin) % kChunk == 0 && !at_chunk(t, std::min(t + kChunk - 1, end), done)) return false;
      for (std::size_t s = from; s < to; ++s) {
        const std::int64_t y = t - kLag * static_cast<std::int64_t>(s);
        if (y < first_) break;
        if (y > last_) continue;
        steps_[s].run(grid_, static_cast<std::int32_t>(y), y == first_);
        ++done;
      }
    }
    return true;
  }

 private:
  PixelGrid& grid_;
  std::int32_t first_, last_;
  std::vector<SweepStep> steps_;
};

// Waits until `value` reaches `at_least` or `stop` is set.
void wait_for(const std::atomic<std::int64_t>& value, std::int64_t at_least, const std::atomic<bool>& stop) {
  for (std::int64_t seen = value.load(); seen < at_least && !stop.load(); seen = value.load()) value.wait(seen);
}

void publish(std::atomic<std::int64_t>& value, std::int64_t v) {
  value.store(v);
  value.notify_all();
}

}  // namespace

std::size_t sweep_copy_bytes(std::size_t words_per_row, std::int32_t pass_count) {
  std::size_t kept = 0;
  for (const Kernel kernel : pass_kernels(false)) kept += keeps_originals(kernel) ? 2 : 0;
  return kept * words_per_row * sizeof(Word) * static_cast<std::size_t>(std::max(pass_count, 0));
}

bool run_passes_as_sweep(PixelGrid& grid, std::int32_t pass_count, PhaseMeter& meter, int threads) {
  const std::int64_t units =
      std::int64_t{std::max(pass_count, 0)} * (6 * std::int64_t{grid.height()} + 6 * std::int64_t{grid.width()} - 8);
  Sweep sweep(grid, pass_count);
  const std::int64_t total = sweep.row_steps();
  std::int64_t reported = 0;
  // The passes' units in proportion to the rows done, on this thread only.
  const auto report = [&](std::int64_t done) {
    const auto target =
        total == 0
            ? units
            : static_cast<std::int64_t>(static_cast<long double>(units) * done / static_cast<long double>(total));
    if (target <= reported) return !meter.stopped();
    const std::int64_t count = target - reported;
    reported = target;
    return meter.units_done(count);
  };
  const std::size_t split = threads > 1 ? sweep.steps() / 2 : sweep.steps();
  std::atomic<std::int64_t> first_done{0}, second_done{0}, second_rows{0};
  std::atomic<bool> stop{false};
  std::thread second;
  if (split < sweep.steps()) {
    // Its first time; the times before it count as done, so that the first half never waits for them.
    publish(second_done, 1 + kLag * static_cast<std::int64_t>(split) - 1);
    second = try_start_thread([&] {
      sweep.run(split, sweep.steps(), [&](std::int64_t t, std::int64_t chunk_end, std::int64_t done) {
        publish(second_rows, done);
        publish(second_done, t - 1);
        wait_for(first_done, chunk_end, stop);
        return !stop.load();
      });
      publish(second_rows, sweep.row_steps() / static_cast<std::int64_t>(sweep.steps()) *
                               static_cast<std::int64_t>(sweep.steps() - split));
      publish(second_done, kAllDone);
    });
  }
  const bool helped = second.joinable();
  const std::size_t mine = helped ? split : sweep.steps();
  const bool finished = sweep.run(0, mine, [&](std::int64_t t, std::int64_t, std::int64_t done) {
    publish(first_done, t - 1);
    if (!report(done + second_rows.load())) {
      stop = true;
      publish(first_done, kAllDone);  // wakes the second half, which sees the stop
      return false;
    }
    if (helped) wait_for(second_done, t - kMostAhead, stop);
    return true;
  });
  if (!finished) stop = true;
  publish(first_done, kAllDone);
  if (helped) {
    // The second half's rows reported as it finishes them.
    for (std::int64_t seen = second_done.load(); seen != kAllDone; seen = second_done.load()) {
      if (!stop.load() && !report(total / static_cast<std::int64_t>(sweep.steps()) * static_cast<std::int64_t>(split) +
                                  second_rows.load()))
        stop = true;
      second_done.wait(seen);
    }
    second.join();
  }
  if (!stop.load()) report(total);
  return helped || threads <= 1;
}

}  // namespace vp
