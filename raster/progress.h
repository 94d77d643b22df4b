// The one way a phase of work tells the program how far it has got, and learns
// whether to go on. Loading, thinning, tracing, the special-mode phases and the
// writers all report through it; only the program that runs them decides what a
// report means on screen (bars, labels, a terminal line) and how often to let
// the user act.
#pragma once

#include <cstdint>

namespace vp {

enum class Phase {
  Load,       // rows of the image read
  Thin,       // lines of the grid visited, over every pass
  Trace,      // lines of the grid traced
  EndPoints,  // special mode: records checked for free end points
  Crossings,  // special mode: records checked for crossings
  Merge,      // special mode: records merged into longer lines
  Save,       // records written to the output file
  // Special mode: the longer lines stored so far (total: the records going in).
  MergedLines,
  // --cad: rows of the thinned grid walked into chains, then chains fitted.
  Fit,
};

class Progress {
 public:
  virtual ~Progress() = default;
  // `done` of `total` units of `phase` are finished. Returns false to ask the
  // phase to stop as soon as it can; a phase that was asked stays stopped.
  virtual bool report(Phase phase, std::int64_t done, std::int64_t total) = 0;
};

// For work run where nobody watches (tests, benchmarks, seeds): never stops it.
class NoProgress final : public Progress {
 public:
  bool report(Phase, std::int64_t, std::int64_t) override { return true; }
};

}  // namespace vp
