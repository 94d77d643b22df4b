#include "raster/memory_budget.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <string>

namespace vp {
namespace {

std::optional<std::uint64_t> g_override;

std::optional<std::uint64_t> read_number(const std::string& path) {
  std::ifstream in(path);
  std::string text;
  if (!(in >> text) || text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return {};
  try {
    return std::stoull(text);
  } catch (...) {
    return {};
  }
}

std::optional<std::uint64_t> meminfo_available() {
  std::ifstream in("/proc/meminfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    std::uint64_t kib = 0;
    if (fields >> kib) return kib * 1024;
  }
  return {};
}

// cgroup v2: memory.max ("max" when unlimited) less memory.current.
std::optional<std::uint64_t> cgroup_room() {
  const auto limit = read_number("/sys/fs/cgroup/memory.max");
  const auto used = read_number("/sys/fs/cgroup/memory.current");
  if (!limit || !used) return {};
  return *limit > *used ? *limit - *used : 0;
}

}  // namespace

std::optional<std::uint64_t> available_memory_bytes() {
  if (g_override) return g_override;
  const auto system = meminfo_available();
  const auto group = cgroup_room();
  if (system && group) return std::min(*system, *group);
  return system ? system : group;
}

void claim_memory(std::uint64_t bytes) {
  if (const auto available = available_memory_bytes(); available && bytes > *available) throw std::bad_alloc();
}

void* zeroed_block(std::size_t count, std::size_t size) {
  if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size) throw std::bad_alloc();
  claim_memory(std::uint64_t{count} * size);
  void* block = std::calloc(count, size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void set_available_memory_for_testing(std::optional<std::uint64_t> bytes) { g_override = bytes; }

}  // namespace vp
