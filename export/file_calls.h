// The two file operations whose calls differ between systems, each system's in a
// file of its own (export/posix/, export/windows/) chosen by the build.
#pragma once

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace vp {

// std::fopen for any path: on Windows through the UTF-16 name (_wfopen), which
// the narrow name cannot always stand for. Sets errno on failure.
std::FILE* open_c_file(const std::filesystem::path& path, const char* mode);

// Moves `from` over `to`, replacing `to` when it exists, in one step. Windows
// does not replace by rename(); MoveFileExW does, and with write-through it
// returns only once the move is on the disk.
std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace vp
