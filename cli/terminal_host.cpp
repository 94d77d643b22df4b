#include "cli/terminal_host.h"

#include <atomic>
#include <mutex>

#include "cli/system.h"

namespace vp::cli {
namespace {

// Lock-free, so the signal handler may set it; read by every conversion of a batch.
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free);

void on_interrupt() { g_interrupted.store(1, std::memory_order_relaxed); }

// Guards nest (a batch holds one while each of its conversions holds its own):
// the first installs the handler, the last restores what was there before.
std::mutex g_guard_mutex;
int g_guard_depth = 0;

// Message boxes break lines with a line feed and a carriage return; a terminal needs the line feed only.
std::string for_terminal(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}

}  // namespace

InterruptGuard::InterruptGuard() {
  const std::lock_guard lock(g_guard_mutex);
  if (g_guard_depth++ == 0) {
    g_interrupted = 0;
    install_interrupt_handlers(on_interrupt);
  }
}

InterruptGuard::~InterruptGuard() {
  const std::lock_guard lock(g_guard_mutex);
  if (--g_guard_depth == 0) restore_interrupt_handlers();
}

bool interrupt_requested() { return g_interrupted.load(std::memory_order_relaxed) != 0; }

TerminalHost::TerminalHost(std::ostream& err, bool show_progress, std::vector<std::string>* said)
    : err_(err), show_progress_(show_progress), said_(said) {}

TerminalHost::~TerminalHost() { clear_line(); }

void TerminalHost::conversion_started() { draw(); }

void TerminalHost::conversion_finished() { clear_line(); }

void TerminalHost::set_bar(ProgressBar bar, int position) {
  int& shown = bars_[static_cast<std::size_t>(bar)];
  if (shown == position) return;
  shown = position;
  draw();
}

void print_message(std::ostream& err, std::string_view text) {
  err << "vpconvert: " << for_terminal(text) << '\n';
  err.flush();
}

void TerminalHost::show_message(std::string_view text) {
  clear_line();
  print_message(err_, text);
  if (said_ != nullptr) said_->emplace_back(text);
}

bool TerminalHost::abort_requested() { return interrupt_requested(); }

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
      line +=
          std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(10 - filled), '.');
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
