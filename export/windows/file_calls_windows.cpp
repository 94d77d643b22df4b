#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "export/file_calls.h"

namespace vp::platform {

std::FILE* open_c_file(const std::filesystem::path& path, const char* mode) {
  if (std::strcmp(mode, "wbx") == 0) {
    // The C runtime's fopen knows no "x": create the file exclusively by hand.
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
  }
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
}

std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
  // As the portable conditions, so that the user is told the same reasons as elsewhere.
  switch (const DWORD code = GetLastError()) {
    case ERROR_ACCESS_DENIED:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return std::make_error_code(std::errc::device_or_resource_busy);
    default:
      return std::error_code(static_cast<int>(code), std::system_category());
  }
}

std::error_code sync_file(std::FILE* file) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return std::make_error_code(std::errc::bad_file_descriptor);
  if (FlushFileBuffers(handle)) return {};
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

// MoveFileExW's write-through already waits for the rename to reach the disk.
void sync_folder(const std::filesystem::path&) {}

// A new file takes its folder's access rules, as the one it replaces did.
void copy_owner_and_mode(std::FILE*, const std::filesystem::path&) {}

std::error_code resolve_write_target(std::filesystem::path& path) {
  constexpr int kMaxLinks = 40;
  std::filesystem::path current = path;
  for (int followed = 0; followed <= kMaxLinks; ++followed) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, ec))) {
      path = current;
      return {};
    }
    const std::filesystem::path next = std::filesystem::read_symlink(current, ec);
    if (ec) return ec;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

std::optional<FileIdentity> file_identity(const std::filesystem::path& path) {
  // Folders open only with backup semantics; reading no data needs no access rights.
  const HANDLE handle = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(handle, &information) != 0;
  CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileIdentity{information.dwVolumeSerialNumber,
                      (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace vp::platform
