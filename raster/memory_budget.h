// How much memory the system says a new allocation may take, so that a huge
// image is refused with "out of memory" before it is allocated and touched,
// rather than letting the system kill the program half-way.
#pragma once

#include <cstdint>
#include <optional>

namespace vp {

// The smaller of the memory the system reports as available (MemAvailable) and
// the room left under this process's control-group limit, in bytes; empty when
// the system tells neither.
std::optional<std::uint64_t> available_memory_bytes();

// Test hook: pretend the system has this much available (empty: ask the system).
void set_available_memory_for_testing(std::optional<std::uint64_t> bytes);

}  // namespace vp
