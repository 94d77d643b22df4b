// The one place where the phases' reports become the bars and labels of the
// host's progress display, and where the user is let act (after every unit).
//
// It also latches how the run is ending: the first failure sticks, but an abort
// asked for later still overrides it (a user who pressed abort while the run was
// failing for want of memory is told it was cancelled).
#pragma once

#include <cstdint>

#include "core/conversion_host.h"
#include "core/outcome.h"
#include "raster/phase_meter.h"
#include "raster/progress.h"

namespace vp {

class ProgressDisplay final : public Progress {
 public:
  explicit ProgressDisplay(ConversionHost& host) : host_(host) {}

  bool report(Phase phase, std::int64_t done, std::int64_t total) override;

  // A fresh display: every bar at 0, the checks off, the counts at 0.
  void reset();
  void start_loading() {
    load_shown_ = 0;
    host_.set_bar(ProgressBar::Load, 0);
  }
  void end_loading() { host_.set_bar(ProgressBar::Load, 100); }
  // A counted phase's bar starts from 0 again.
  void start_counted() { percent_shown_ = 0; }
  void start_special() { special_shown_ = -1; }
  // A special-mode check starts (running) or ends.
  void check(ProgressLabel check, bool running);

  void fail(Outcome outcome) {
    if (outcome_ == Outcome::Done) outcome_ = outcome;
  }
  // A phase's end: stopped means it was asked to, which the latch knows already.
  void ended(PhaseStatus status) {
    if (status == PhaseStatus::OutOfMemory) fail(Outcome::OutOfMemory);
  }
  bool stopped() const { return outcome_ != Outcome::Done; }
  // Lets the user act (abort) during work that reports nothing; false once stopped.
  bool keep_going() { return let_user_act(); }
  Outcome outcome() const { return outcome_; }

 private:
  bool let_user_act() {
    if (!host_.serve_events()) outcome_ = Outcome::Aborted;
    return !stopped();
  }

  // The progress rule of the counted phases: the bar moves only when the truncated
  // percentage is exactly one more than shown, so at most 100 moves and never a
  // jump; the user may act after every unit.
  bool count_unit(ProgressBar bar, std::int64_t done, std::int64_t total) {
    const double percent = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * 100.0 : 0.0;
    if (static_cast<std::int64_t>(percent) == percent_shown_ + 1) {
      ++percent_shown_;
      host_.set_bar(bar, percent_shown_);
    }
    return let_user_act();
  }

  // The end point and crossing checks share the special bar in thirds: trunc(i / S × 100 / 3).
  static int third_of_percent(std::int64_t i, std::int64_t s) {
    return static_cast<int>(static_cast<double>(i) / static_cast<double>(s) * 100.0 / 3.0);
  }
  void show_special(int position) {
    if (position == special_shown_) return;
    special_shown_ = position;
    host_.set_bar(ProgressBar::Special, position);
  }

  ConversionHost& host_;
  Outcome outcome_ = Outcome::Done;
  int load_shown_ = 0;
  std::int32_t percent_shown_ = 0;
  int special_shown_ = -1;
};

}  // namespace vp
