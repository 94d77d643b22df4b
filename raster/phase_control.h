// How a counted phase (thinning, tracing) talks to the conversion that runs it.
#pragma once

#include <cstdint>
#include <functional>

namespace vp {

struct PhaseControl {
  // CancelState: a phase stops at its next test once this is not 0. The program
  // may change it while `unit_done` lets it process pending events.
  std::int32_t& cancel_state;
  // Called after each line (row, column or diagonal) of work: applies the
  // progress rule to the phase's bar and lets the program process pending events.
  std::function<void()> unit_done;

  bool stopped() const { return cancel_state != 0; }
};

}  // namespace vp
