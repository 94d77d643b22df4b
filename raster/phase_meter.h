// How a phase of the conversion ends, and the counter by which it reports its
// units of work through Progress.
#pragma once

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
  bool unit_done() {
    ++done_;
    if (!progress_.report(phase_, done_, total_)) asked_to_stop_ = true;
    return !stopped();
  }
  void out_of_memory() { out_of_memory_ = true; }
  bool stopped() const { return asked_to_stop_ || out_of_memory_; }
  PhaseStatus status() const {
    return out_of_memory_ ? PhaseStatus::OutOfMemory : asked_to_stop_ ? PhaseStatus::Stopped : PhaseStatus::Finished;
  }

 private:
  Progress& progress_;
  Phase phase_;
  std::int64_t total_;
  std::int64_t done_ = 0;
  bool asked_to_stop_ = false;
  bool out_of_memory_ = false;
};

}  // namespace vp
