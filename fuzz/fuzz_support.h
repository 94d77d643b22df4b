// Shared by the fuzz targets: the input goes to a file (the reader reads files),
// and a failed invariant stops the run so that libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vp::fuzz {

// Writes the bytes to this process's scratch file and returns its path.
const std::string& write_input(const std::uint8_t* data, std::size_t size);

[[noreturn]] void fail(const char* what);

inline void check(bool condition, const char* what) {
  if (!condition) fail(what);
}

// Images larger than these are opened but not decoded or converted: a tiny RLE8
// file may legitimately describe a vast blank image, and working through it says
// nothing new while it slows the search down.
inline constexpr std::int64_t kMaxDecodedPixels = std::int64_t{1} << 22;
inline constexpr std::int64_t kMaxConvertedPixels = std::int64_t{1} << 16;

}  // namespace vp::fuzz
