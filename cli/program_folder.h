// The folder of the running program, where the DXF header template lives.
#pragma once

#include <filesystem>
#include <optional>

namespace vp::cli {

// Read from /proc/self/exe; nothing when the system does not say.
std::optional<std::filesystem::path> program_folder();

}  // namespace vp::cli
