// Rows of one-byte flags (0 or 1) turned into the 64-bit words of an ink row,
// and a word of pixels into its pairs.
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

// Bit p of the result: whether pixel 2p or 2p + 1 is set in `pixels`.
constexpr std::uint32_t pairs_of(std::uint64_t pixels) {
  std::uint64_t x = (pixels | pixels >> 1) & 0x5555555555555555u;
  x = (x | x >> 1) & 0x3333333333333333u;
  x = (x | x >> 2) & 0x0F0F0F0F0F0F0F0Fu;
  x = (x | x >> 4) & 0x00FF00FF00FF00FFu;
  x = (x | x >> 8) & 0x0000FFFF0000FFFFu;
  return static_cast<std::uint32_t>(x | x >> 16);
}

}  // namespace vp::scan
