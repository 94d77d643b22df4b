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

// Images larger than this are opened but not decoded: a tiny RLE8 file may
// legitimately describe a vast blank image, and decoding it says nothing new.
inline constexpr std::int64_t kMaxDecodedPixels = std::int64_t{1} << 22;

}  // namespace vp::fuzz
