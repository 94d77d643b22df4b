#include "cli/file_roles.h"

#include <filesystem>
#include <optional>

#include "export/file_calls.h"

namespace vp::cli {
namespace {

namespace fs = std::filesystem;

// Where writing `path` would land: through symbolic links, as the writers go.
fs::path landing(const std::string& path) {
  fs::path target(path);
  if (platform::resolve_write_target(target)) return fs::path(path);  // a loop: the writer refuses it
  std::error_code ec;
  const fs::path full = fs::weakly_canonical(fs::absolute(target, ec), ec);
  return ec ? fs::absolute(target).lexically_normal() : full;
}

// Two names of one file: the same device and inode when it is there; the same
// place once links are followed when it is still to be made.
bool same_file(const std::string& a, const std::string& b) {
  const std::optional<platform::FileIdentity> ia = platform::file_identity(a);
  const std::optional<platform::FileIdentity> ib = platform::file_identity(b);
  if (ia && ib) return *ia == *ib;
  if (ia || ib) return false;
  return landing(a) == landing(b);
}

std::string clash(const NamedFile& a, const NamedFile& b) {
  return a.role + " and " + b.role + " name the same file (" + b.path + "); it would be overwritten";
}

}  // namespace

std::string clashing_files(const std::vector<NamedFile>& reads, const std::vector<NamedFile>& writes) {
  for (std::size_t i = 0; i < writes.size(); ++i) {
    for (const NamedFile& read : reads) {
      if (same_file(read.path, writes[i].path)) return clash(read, writes[i]);
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (same_file(writes[j].path, writes[i].path)) return clash(writes[j], writes[i]);
    }
  }
  return {};
}

}  // namespace vp::cli
