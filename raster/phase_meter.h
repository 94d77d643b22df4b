// How a phase of the conversion ends, and the counter by which it reports its
// units of work through Progress.
#pragma once

#include <algorithm>
#include <cstdint>

#include "raster/progress.h"

namespace vp {

enum class PhaseStatus {
  Finished,     // ran to its end
  Stopped,      // Progress asked it to stop
  OutOfMemory,  // a table or working state could not get its storage
};

// Counts the units of one phase and reports each as it is done. Once Progress has
// asked to stop, or the phase ran out of memory, it stays stopped.
class PhaseMeter {
 public:
  PhaseMeter(Progress& progress, Phase phase, std::int64_t total) : progress_(progress), phase_(phase), total_(total) {}

  // One more unit done; false when the phase must stop.
  bool unit_done() { return units_done(1); }

  // `count` more units done. A phase of up to kEveryUnitUpTo units reports each
  // one. A larger one (a sheet billions of cells wide or high) reports the first
  // unit of each whole percent, every kReportEvery units and its last: the display
  // sees every percent it would have seen, an interrupt is heard within a fraction
  // of a second, and reporting costs next to nothing beside the work.
  bool units_done(std::int64_t count) {
    const std::int64_t target = done_ + count;
    while (done_ < target && !stopped()) {
      if (total_ <= kEveryUnitUpTo) {
        ++done_;
      } else {
        if (due_ <= done_) due_ = next_due(done_);
        if (due_ > target) {
          done_ = target;
          break;
        }
        done_ = due_;
      }
      if (!progress_.report(phase_, done_, total_)) asked_to_stop_ = true;
    }
    return !stopped();
  }
  void out_of_memory() { out_of_memory_ = true; }
  bool stopped() const { return asked_to_stop_ || out_of_memory_; }
  PhaseStatus status() const {
    return out_of_memory_ ? PhaseStatus::OutOfMemory : asked_to_stop_ ? PhaseStatus::Stopped : PhaseStatus::Finished;
  }

 private:
  static constexpr std::int64_t kEveryUnitUpTo = std::int64_t{1} << 24;
  static constexpr std::int64_t kReportEvery = std::int64_t{1} << 20;

  // The whole percent that `done` units make, as the display works it out.
  std::int64_t percent(std::int64_t done) const {
    return static_cast<std::int64_t>(static_cast<double>(done) / static_cast<double>(total_) * 100.0);
  }
  // The next unit after `done` to report: the first of the next whole percent, at
  // most kReportEvery units on, and never beyond the last.
  std::int64_t next_due(std::int64_t done) const {
    if (done >= total_) return done + 1;
    const std::int64_t wanted = percent(done) + 1;
    std::int64_t first = std::max(done + 1, (wanted * total_ + 99) / 100);
    while (first > done + 1 && percent(first - 1) >= wanted) --first;
    while (percent(first) < wanted) ++first;
    return std::min({first, done + kReportEvery, total_});
  }

  Progress& progress_;
  Phase phase_;
  std::int64_t total_;
  std::int64_t done_ = 0;
  std::int64_t due_ = 0;  // the next unit a large phase reports
  bool asked_to_stop_ = false;
  bool out_of_memory_ = false;
};

}  // namespace vp
