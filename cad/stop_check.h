// How a long loop of the stage hears a stop: it asks the progress channel once
// in so many steps, so that asking (a clock read, a look at the user's input)
// costs nothing next to the work, and a stop is heard within a fraction of a second.
#pragma once

#include <cstdint>

#include "raster/progress.h"

namespace vp::cad {

class StopCheck {
 public:
  // Reports Phase::Fit at `done` of `total` whenever it asks.
  StopCheck(Progress& progress, std::int64_t done, std::int64_t total)
      : progress_(progress), done_(done), total_(total) {}

  // Counts `steps` of work done; asks once this many have been counted since the
  // last ask. False once a stop was asked for.
  bool keep_going(std::int64_t steps = 1) {
    if (stopped_) return false;
    counted_ += steps;
    if (counted_ < kStepsPerAsk) return true;
    return ask();
  }
  // Asks now.
  bool ask() {
    counted_ = 0;
    stopped_ = stopped_ || !progress_.report(Phase::Fit, done_, total_);
    return !stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  static constexpr std::int64_t kStepsPerAsk = 1024;
  Progress& progress_;
  std::int64_t done_, total_;
  std::int64_t counted_ = 0;
  bool stopped_ = false;
};

}  // namespace vp::cad
