// Rows of one-byte flags (0 or 1) turned into the 64-bit words of an ink row.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace vp::scan {

// Bit b of the result is flags[b], for 64 flags each 0 or 1. Eight flags a
// step: a multiply gathers the low bit of each byte into the top byte, each
// product term landing on a bit of its own, so no carry disturbs it.
inline std::uint64_t bits_of(const std::uint8_t* flags) {
  std::uint64_t bits = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (int j = 0; j < 8; ++j) {
      std::uint64_t eight = 0;
      std::memcpy(&eight, flags + 8 * j, 8);
      bits |= (eight * 0x0102040810204080u >> 56) << (8 * j);
    }
  } else {
    for (int b = 0; b < 64; ++b) bits |= std::uint64_t{flags[b]} << b;
  }
  return bits;
}

}  // namespace vp::scan
