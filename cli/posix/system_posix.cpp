#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "cli/system.h"

namespace vp::cli {
namespace {

constexpr int kInterruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kInterruptSignals)];
void (*g_handler)() = nullptr;

extern "C" void on_signal(int) { g_handler(); }

}  // namespace

// The handler only sets the flag; the work polls it. Without SA_RESTART a call
// blocked in the system (opening a pipe nobody writes to) returns, so the
// interrupt is seen there too.
void install_interrupt_handlers(void (*handler)()) {
  g_handler = handler;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  for (std::size_t i = 0; i < std::size(kInterruptSignals); ++i)
    sigaction(kInterruptSignals[i], &action, &g_previous[i]);
}

void restore_interrupt_handlers() {
  for (std::size_t i = 0; i < std::size(kInterruptSignals); ++i)
    sigaction(kInterruptSignals[i], &g_previous[i], nullptr);
}

std::optional<std::filesystem::path> program_folder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty() || !exe.has_parent_path()) return std::nullopt;
  return exe.parent_path();
}

std::optional<std::filesystem::path> environment_folder(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::filesystem::path(value);
}

std::vector<std::string> utf8_arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

bool prepare_console() { return isatty(STDERR_FILENO) != 0; }

std::optional<std::uint64_t> address_space_room() {
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  // The first field of statm: the pages mapped now (Linux; elsewhere taken as none).
  std::uint64_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
  return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

std::optional<std::filesystem::path> user_data_folder() {
  // A relative XDG_DATA_HOME is invalid and to be ignored.
  if (const auto data = environment_folder("XDG_DATA_HOME"); data && data->is_absolute()) return data;
  if (const auto home = environment_folder("HOME")) return *home / ".local" / "share";
  return std::nullopt;
}

}  // namespace vp::cli
