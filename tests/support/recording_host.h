// A ConversionHost that records what a conversion shows, and can press the abort
// button from inside process_events().
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
  explicit RecordingHost(std::int32_t& cancel_state) : cancel_state_(cancel_state) {}

  void conversion_started() override { ++started; }
  void conversion_finished() override { ++finished; }
  void process_events() override {
    ++events;
    if (abort_when && abort_when(*this)) cancel_state_ = 1;
  }
  void set_bar(ProgressBar bar, int position) override { bars[index(bar)].push_back(position); }
  void set_label(ProgressLabel label, std::string_view text) override { labels[label] = std::string(text); }
  void show_message(std::string_view text) override { messages.emplace_back(text); }

  int last_bar(ProgressBar bar) const {
    const auto& positions = bars[index(bar)];
    return positions.empty() ? -1 : positions.back();
  }
  const std::vector<int>& bar_history(ProgressBar bar) const { return bars[index(bar)]; }

  int started = 0, finished = 0;
  std::int64_t events = 0;
  std::array<std::vector<int>, 4> bars;
  std::map<ProgressLabel, std::string> labels;
  std::vector<std::string> messages;
  // Asked at every process_events(); returning true presses the abort button.
  std::function<bool(const RecordingHost&)> abort_when;

 private:
  static std::size_t index(ProgressBar bar) { return static_cast<std::size_t>(bar) - 1; }
  std::int32_t& cancel_state_;
};

}  // namespace vp::testing
