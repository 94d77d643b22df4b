// Word-wide neighbour access for rows of a bit plane (64 cells to a word, least
// significant bit first): the value of the cell to the left or right of each of
// the 64 cells of word k. Cells beyond the row's ends read as background.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vp::bits {

using Word = std::uint64_t;

inline Word left_of(const Word* row, std::size_t k) {  // cell x - 1
  return (row[k] << 1) | (k != 0 ? row[k - 1] >> 63 : 0);
}
inline Word left2_of(const Word* row, std::size_t k) {  // cell x - 2
  return (row[k] << 2) | (k != 0 ? row[k - 1] >> 62 : 0);
}
inline Word right_of(const Word* row, std::size_t k, std::size_t n) {  // cell x + 1
  return (row[k] >> 1) | (k + 1 < n ? row[k + 1] << 63 : 0);
}
inline Word right2_of(const Word* row, std::size_t k, std::size_t n) {  // cell x + 2
  return (row[k] >> 2) | (k + 1 < n ? row[k + 1] << 62 : 0);
}

// The set bits of a word, in a few arithmetic steps: the portable target has no
// population count instruction, and the library's call costs more than this.
inline int count(Word w) {
  w = w - ((w >> 1) & 0x5555555555555555ull);
  w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
  w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((w * 0x0101010101010101ull) >> 56);
}

// Transposes a 64 x 64 bit block in place: bit j of a[i] trades places with bit i of a[j].
inline void transpose64(Word a[64]) {
  Word mask = 0x00000000FFFFFFFFull;
  for (int j = 32; j != 0; j >>= 1, mask ^= mask << j) {
    for (int k = 0; k < 64; k = ((k | j) + 1) & ~j) {
      const Word t = ((a[k] >> j) ^ a[k | j]) & mask;
      a[k] ^= t << j;
      a[k | j] ^= t;
    }
  }
}

}  // namespace vp::bits
