#include <unistd.h>

#include <cstdlib>

#include "cli/system.h"

namespace vp::cli {

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

std::optional<std::filesystem::path> user_data_folder() {
  // A relative XDG_DATA_HOME is invalid and to be ignored.
  if (const auto data = environment_folder("XDG_DATA_HOME"); data && data->is_absolute()) return data;
  if (const auto home = environment_folder("HOME")) return *home / ".local" / "share";
  return std::nullopt;
}

}  // namespace vp::cli
