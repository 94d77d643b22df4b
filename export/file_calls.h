// The file operations whose calls differ between systems, each system's in a
// file of its own (export/posix/, export/windows/) chosen by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace vp::platform {

// std::fopen for any path: on Windows through the UTF-16 name (_wfopen), which
// the narrow name cannot always stand for. Sets errno on failure.
std::FILE* open_c_file(const std::filesystem::path& path, const char* mode);

// Moves `from` over `to`, replacing `to` when it exists, in one step. Windows
// does not replace by rename(); MoveFileExW does, and with write-through it
// returns only once the move is on the disk.
std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to);

// Makes the bytes written to `file` durable (they survive a power loss).
std::error_code sync_file(std::FILE* file);

// Makes a rename or creation inside `folder` durable. Best effort: the rename
// has already happened when this runs.
void sync_folder(const std::filesystem::path& folder);

// Gives `file` the owner, group and permission bits of the existing file
// `model`, as far as the system allows (an unprivileged user keeps ownership).
void copy_owner_and_mode(std::FILE* file, const std::filesystem::path& model);

// Where writing to `path` lands: `path` itself, or the end of the chain of
// symbolic links starting there (which need not exist yet). A chain that loops
// or does not end fails with too_many_symbolic_link_levels.
std::error_code resolve_write_target(std::filesystem::path& path);

// What makes two names the same file: its device and its number on it.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file `path` names (through symbolic links); empty when
// there is no such file.
std::optional<FileIdentity> file_identity(const std::filesystem::path& path);

}  // namespace vp::platform
