// A ConversionHost that records what special mode shows, as a log of its labels
// and the positions of its bar, and can press the abort button from inside
// serve_events().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/conversion_host.h"
#include "core/messages.h"

namespace vp::testing {

class SpecialRecorder : public ConversionHost {
 public:
  void conversion_started() override {}
  void conversion_finished() override {}
  bool serve_events() override {
    ++events;
    if (abort_when && abort_when(*this)) aborted = true;
    return !aborted;
  }
  void set_bar(ProgressBar bar, int position) override {
    if (bar == ProgressBar::Special) this->bar.push_back(position);
  }
  void set_label(ProgressLabel label, std::string_view text) override {
    switch (label) {
      case ProgressLabel::EndPointCheck:
      case ProgressLabel::CrossingCheck:
        log.push_back(std::string(label == ProgressLabel::EndPointCheck ? "end points" : "crossings") +
                      (text == messages::kCheckRunning ? " running"
                       : text == messages::kCheckDone  ? " done"
                                                       : " off"));
        break;
      case ProgressLabel::TracedCount:
        log.push_back("traced " + std::string(text));
        break;
      case ProgressLabel::MergedCount:
        log.push_back("merged " + std::string(text));
        break;
    }
  }

  // The positions the bar went through: repeats of the position shown are no change.
  std::vector<int> bar_shown() const {
    std::vector<int> shown;
    for (int p : bar)
      if (shown.empty() || shown.back() != p) shown.push_back(p);
    return shown;
  }

  std::vector<std::string> log;
  std::vector<int> bar;
  std::int64_t events = 0;
  bool aborted = false;
  std::function<bool(const SpecialRecorder&)> abort_when;
};

}  // namespace vp::testing
