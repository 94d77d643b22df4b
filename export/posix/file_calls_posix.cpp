#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "export/file_calls.h"

namespace vp::platform {

std::FILE* open_c_file(const std::filesystem::path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  // rename(2) replaces an existing file atomically.
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return error;
}

std::error_code sync_file(std::FILE* file) {
  if (::fsync(::fileno(file)) == 0) return {};
  const int e = errno;
  // A file system that cannot sync (some pipes and special mounts) has nothing to lose.
  if (e == EINVAL || e == EROFS) return {};
  return std::error_code(e, std::generic_category());
}

void sync_folder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void copy_owner_and_mode(std::FILE* file, const std::filesystem::path& model) {
  struct stat st {};
  if (::stat(model.c_str(), &st) != 0) return;
  const int fd = ::fileno(file);
  // Owner first: a change of owner may clear the set-user-ID bits the mode then restores.
  // Not allowed to give the file away: at least keep the group where we may.
  const bool owned = ::fchown(fd, st.st_uid, st.st_gid) == 0 || ::fchown(fd, static_cast<uid_t>(-1), st.st_gid) == 0;
  static_cast<void>(owned);
  const bool moded = ::fchmod(fd, st.st_mode & 07777) == 0;
  static_cast<void>(moded);
}

std::error_code resolve_write_target(std::filesystem::path& path) {
  // As many links as the system itself follows in one path.
#ifdef SYMLOOP_MAX
  constexpr int kMaxLinks = SYMLOOP_MAX;
#else
  constexpr int kMaxLinks = 40;
#endif
  std::filesystem::path current = path;
  for (int followed = 0; followed <= kMaxLinks; ++followed) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      path = current;
      return {};
    }
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length < 0) return std::error_code(errno, std::generic_category());
    target.resize(static_cast<std::size_t>(length));
    const std::filesystem::path next(target);
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return std::make_error_code(std::errc::too_many_symbolic_link_levels);
}

std::optional<FileIdentity> file_identity(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace vp::platform
