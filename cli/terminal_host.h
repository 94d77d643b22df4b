// The converter's window on the user: messages and an optional progress bar on
// standard error, and Ctrl-C as the abort button.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/conversion_host.h"
#include "export/save_host.h"

namespace vp::cli {

// A message as TerminalHost shows it: "vpconvert: " and the text, one line per line.
void print_message(std::ostream& err, std::string_view text);

// Whether an interrupt has come since the outermost InterruptGuard began.
bool interrupt_requested();

class TerminalHost : public ConversionHost, public SaveHost {
 public:
  // Every message shown is also added to `said` when given, one entry per message.
  TerminalHost(std::ostream& err, bool show_progress, std::vector<std::string>* said = nullptr);
  ~TerminalHost() override;

  void conversion_started() override;
  void conversion_finished() override;
  // An interrupt is the abort button.
  bool serve_events() override { return !interrupt_requested(); }
  void set_bar(ProgressBar bar, int position) override;
  void set_label(ProgressLabel, std::string_view) override {}

  void show_message(std::string_view text) override;
  void process_events() override {}

  void begin_saving() override;
  void set_saving_bar(int position) override;
  void end_saving() override;
  bool abort_requested() override;

 private:
  void draw();
  void clear_line();

  std::ostream& err_;
  bool show_progress_;
  std::vector<std::string>* said_;
  std::array<int, kProgressBarCount> bars_{};
  int saving_bar_ = -1;  // -1 while not saving
  bool line_drawn_ = false;
  std::string last_line_;
};

// Makes Ctrl-C, SIGTERM and SIGHUP ask for an abort (seen by the next
// serve_events, and by a file being written) for the life of the object.
// Guards may nest and may live on several threads at once.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
};

}  // namespace vp::cli
