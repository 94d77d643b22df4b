// The files a run reads and writes, and the rule that no file it writes may be
// one it reads or another it writes: checked before any work, by what the names
// lead to on disk rather than by how they are spelt.
#pragma once

#include <string>
#include <vector>

namespace vp::cli {

struct NamedFile {
  std::string role;  // how the user named it: "the input", "-o", "--thinned", "--dxf-header"
  std::string path;
};

// Empty when every output is a file of its own; otherwise the usage error, naming both roles.
std::string clashing_files(const std::vector<NamedFile>& reads, const std::vector<NamedFile>& writes);

}  // namespace vp::cli
