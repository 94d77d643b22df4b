#include "cli/terminal_host.h"

#include <atomic>
#include <csignal>

namespace vp::cli {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void on_interrupt(int) { g_interrupted = 1; }

// Message boxes break lines with a line feed and a carriage return; a terminal needs the line feed only.
std::string for_terminal(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  g_interrupted = 0;
  std::signal(SIGINT, on_interrupt);
}

InterruptGuard::~InterruptGuard() { std::signal(SIGINT, SIG_DFL); }

TerminalHost::TerminalHost(std::ostream& err, bool show_progress, std::int32_t& cancel_state)
    : err_(err), show_progress_(show_progress), cancel_state_(cancel_state) {}

TerminalHost::~TerminalHost() { clear_line(); }

void TerminalHost::conversion_started() { draw(); }

void TerminalHost::conversion_finished() { clear_line(); }

void TerminalHost::process_events() {
  if (g_interrupted) cancel_state_ = 1;
}

void TerminalHost::set_bar(ProgressBar bar, int position) {
  int& shown = bars_[static_cast<std::size_t>(bar) - 1];
  if (shown == position) return;
  shown = position;
  draw();
}

void TerminalHost::show_message(std::string_view text) {
  clear_line();
  err_ << "vpconvert: " << for_terminal(text) << '\n';
  err_.flush();
}

void TerminalHost::begin_saving() {
  saving_bar_ = 0;
  draw();
}

void TerminalHost::set_saving_bar(int position) {
  if (position == saving_bar_) return;
  saving_bar_ = position;
  draw();
}

void TerminalHost::end_saving() {
  saving_bar_ = -1;
  clear_line();
}

void TerminalHost::draw() {
  if (!show_progress_) return;
  static const char* const kNames[] = {"load", "thin", "trace", "merge"};
  std::string line = "\r";
  if (saving_bar_ >= 0) {
    line += "saving " + std::to_string(saving_bar_) + "%";
  } else {
    for (std::size_t i = 0; i < bars_.size(); ++i) {
      line += kNames[i];
      line += ' ';
      const int filled = bars_[i] / 10;
      line += std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(10 - filled), '.');
      line += "  ";
    }
  }
  if (line_drawn_ && line == last_line_) return;
  last_line_ = line;
  err_ << line << "\x1b[K";
  err_.flush();
  line_drawn_ = true;
}

void TerminalHost::clear_line() {
  if (!line_drawn_) return;
  err_ << "\r\x1b[K";
  err_.flush();
  line_drawn_ = false;
}

}  // namespace vp::cli
