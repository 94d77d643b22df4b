// A ConversionHost that records what a conversion shows, and can press the abort
// button from inside serve_events().
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/conversion_host.h"

namespace vp::testing {

class RecordingHost : public ConversionHost {
 public:
  void conversion_started() override { ++started; }
  void conversion_finished() override { ++finished; }
  bool serve_events() override {
    ++events;
    if (abort_when && abort_when(*this)) aborted = true;
    return !aborted;
  }
  void set_bar(ProgressBar bar, int position) override { bars[index(bar)].push_back(position); }
  void set_label(ProgressLabel label, std::string_view text) override { labels[label] = std::string(text); }

  int last_bar(ProgressBar bar) const {
    const auto& positions = bars[index(bar)];
    return positions.empty() ? -1 : positions.back();
  }
  const std::vector<int>& bar_history(ProgressBar bar) const { return bars[index(bar)]; }

  int started = 0, finished = 0;
  std::int64_t events = 0;
  bool aborted = false;  // the abort button has been pressed
  std::array<std::vector<int>, kProgressBarCount> bars;
  std::map<ProgressLabel, std::string> labels;
  // Asked at every serve_events(); returning true presses the abort button.
  std::function<bool(const RecordingHost&)> abort_when;

 private:
  static std::size_t index(ProgressBar bar) { return static_cast<std::size_t>(bar); }
};

}  // namespace vp::testing
