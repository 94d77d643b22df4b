#include "core/progress_display.h"

#include <string>

#include "core/messages.h"

namespace vp {

bool ProgressDisplay::report(Phase phase, std::int64_t done, std::int64_t total) {
  switch (phase) {
    case Phase::Load: {
      // The bar lags one row: after row r (counted from 0) it reads trunc(r / rows × 100).
      const auto position = static_cast<int>(static_cast<double>(done - 1) / static_cast<double>(total) * 100.0);
      if (position != load_shown_) host_.set_bar(ProgressBar::Load, load_shown_ = position);
      return let_user_act();
    }
    case Phase::Thin:
      return count_unit(ProgressBar::Thin, done, total);
    case Phase::Trace:
      return count_unit(ProgressBar::Trace, done, total);
    case Phase::EndPoints:
      if (done == 0) {  // the records going in, before the first is checked
        host_.set_label(ProgressLabel::TracedCount, std::to_string(total));
        return !stopped();
      }
      show_special(third_of_percent(done, total));
      return let_user_act();
    case Phase::Crossings:
      show_special(third_of_percent(done, total) + 33);
      return let_user_act();
    case Phase::MergedLines:
      host_.set_label(ProgressLabel::MergedCount, std::to_string(done));
      return !stopped();
    case Phase::Merge: {
      const bool go_on = let_user_act();
      // The merging's bar moves only once a line is stored, with at least one record taken.
      if (done > 0) {
        const double left = static_cast<double>(total - done) / static_cast<double>(total) * 100.0;
        show_special(static_cast<int>((100.0 - left) / 3.0) + 67);
      }
      return go_on;
    }
    case Phase::Fit:
      // --cad has the special bar to itself: it runs after special mode or instead of it.
      show_special(static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0));
      return let_user_act();
    case Phase::Save:
      break;
  }
  return let_user_act();
}

void ProgressDisplay::reset() {
  for (ProgressBar bar : {ProgressBar::Load, ProgressBar::Thin, ProgressBar::Trace, ProgressBar::Special})
    host_.set_bar(bar, 0);
  host_.set_label(ProgressLabel::EndPointCheck, messages::kCheckOff);
  host_.set_label(ProgressLabel::CrossingCheck, messages::kCheckOff);
  host_.set_label(ProgressLabel::MergedCount, "0");
  host_.set_label(ProgressLabel::TracedCount, "0");
}

void ProgressDisplay::check(ProgressLabel check, bool running) {
  host_.set_label(check, running ? messages::kCheckRunning : messages::kCheckDone);
}

}  // namespace vp
