// A SpecialView that records what the special-mode phases show, and can press the
// abort button from inside process_events().
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vector/special_view.h"

namespace vp::testing {

class RecordingSpecialView : public SpecialView {
 public:
  explicit RecordingSpecialView(std::int32_t& cancel_state) : cancel_state_(cancel_state) {}

  void check_running(SpecialCheck check) override { log.push_back(name(check) + " running"); }
  void check_done(SpecialCheck check) override { log.push_back(name(check) + " done"); }
  void show_count(SpecialCount count, std::int64_t value) override {
    log.push_back((count == SpecialCount::Traced ? "traced " : "merged ") + std::to_string(value));
  }
  void set_bar(int position) override { bar.push_back(position); }
  void process_events() override {
    ++events;
    if (abort_when && abort_when(*this)) cancel_state_ = 1;
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
  std::function<bool(const RecordingSpecialView&)> abort_when;

 private:
  static std::string name(SpecialCheck check) { return check == SpecialCheck::EndPoints ? "end points" : "crossings"; }
  std::int32_t& cancel_state_;
};

}  // namespace vp::testing
