// A SaveHost that remembers what a writer showed, in order.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/save_host.h"

namespace vp::testing {

class RecordingSaveHost : public SaveHost {
 public:
  void show_message(std::string_view text) override { calls.push_back("message:" + std::string(text)); }
  void begin_saving() override {
    calls.emplace_back("begin");
    ++dialog_depth;
  }
  void set_saving_bar(int position) override { bars.push_back(position); }
  void process_events() override {
    event_after.push_back(bars.size());
    if (on_events) on_events(static_cast<int>(event_after.size()));
  }
  void end_saving() override {
    calls.emplace_back("end");
    --dialog_depth;
  }

  std::vector<std::string> calls;        // messages, begin and end
  std::vector<int> bars;                 // every bar position set
  std::vector<std::size_t> event_after;  // for each processing of events: how many bar moves preceded it
  int dialog_depth = 0;
  std::function<void(int)> on_events;  // called with the running count of event processings
};

}  // namespace vp::testing
