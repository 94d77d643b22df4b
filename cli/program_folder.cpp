#include "cli/program_folder.h"

namespace vp::cli {

std::optional<std::filesystem::path> program_folder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty() || !exe.has_parent_path()) return std::nullopt;
  return exe.parent_path();
}

}  // namespace vp::cli
