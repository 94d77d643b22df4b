#include "export/file_calls.h"

namespace vp {

std::FILE* open_c_file(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

std::error_code replace_file(const std::filesystem::path& from, const std::filesystem::path& to) {
  // rename(2) replaces an existing file atomically.
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return error;
}

}  // namespace vp
